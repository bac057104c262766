#include "OutputDebugStream.h"

#include <windows.h>

namespace {

void SendPiece(const std::string& piece) { OutputDebugStringA(piece.c_str()); }

}  // namespace

template <class CharT, class Traits>
OutputDebugStringBuf<CharT, Traits>::OutputDebugStringBuf() : std::basic_stringbuf<CharT, Traits>(std::ios_base::out) {
  restartChunk();
}

template <class CharT, class Traits>
OutputDebugStringBuf<CharT, Traits>::~OutputDebugStringBuf() = default;

template <class CharT, class Traits>
void OutputDebugStringBuf<CharT, Traits>::restartChunk() {
  this->setg(nullptr, nullptr, nullptr);
  this->setp(chunk, chunk + kChunkSize);
}

template <class CharT, class Traits>
int OutputDebugStringBuf<CharT, Traits>::sync() {
  try {
    const std::basic_string<CharT, Traits> piece(this->pbase(), this->pptr());
    // A flush with nothing buffered would otherwise reach the debugger as an empty string.
    if (!piece.empty()) SendPiece(piece);
    restartChunk();
    return 0;
  } catch (...) {
    return -1;
  }
}

template <class CharT, class Traits>
typename OutputDebugStringBuf<CharT, Traits>::int_type OutputDebugStringBuf<CharT, Traits>::overflow(int_type c) {
  const int synced = sync();
  if (!Traits::eq_int_type(c, Traits::eof())) {
    chunk[0] = Traits::to_char_type(c);
    this->setp(chunk, chunk + kChunkSize);
    this->pbump(1);
  }
  return synced == 0 ? Traits::not_eof(c) : Traits::eof();
}

template <class CharT, class Traits>
outputdebug_stream<CharT, Traits>::outputdebug_stream() : buffer(std::make_unique<outputdebug_buf<CharT, Traits>>()) {
  this->init(buffer.get());
}

template <class CharT, class Traits>
outputdebug_stream<CharT, Traits>::~outputdebug_stream() = default;

template class OutputDebugStringBuf<char>;
template class outputdebug_stream<char>;
