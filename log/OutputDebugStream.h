#pragma once
// A standard output stream onto the debugger output channel. Text is sent in pieces of at most
// 256 bytes: whenever the buffer is full, and whenever the stream is flushed.

#include <cstddef>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

template <class CharT, class Traits = std::char_traits<CharT>>
class OutputDebugStringBuf : public std::basic_stringbuf<CharT, Traits> {
 public:
  using int_type = typename Traits::int_type;
  static constexpr std::size_t kChunkSize = 256;

  OutputDebugStringBuf();
  // Whatever is still buffered is dropped, not sent.
  ~OutputDebugStringBuf() override;

 protected:
  // Sends the buffered text as one piece and empties the buffer; -1 when that failed.
  int sync() override;
  // Sends the full buffer, then starts the next piece with `c`.
  int_type overflow(int_type c) override;

 private:
  void restartChunk();

  // The whole put area; the string buffer's own storage stays unused.
  CharT chunk[kChunkSize] = {};
};

template <class CharT, class Traits = std::char_traits<CharT>>
class outputdebug_buf : public OutputDebugStringBuf<CharT, Traits> {};

template <class CharT, class Traits = std::char_traits<CharT>>
class outputdebug_stream : public std::basic_ostream<CharT, Traits> {
 public:
  outputdebug_stream();
  ~outputdebug_stream() override;

 private:
  std::unique_ptr<outputdebug_buf<CharT, Traits>> buffer;
};

// Only the 8-bit form exists: the debugger takes the log's code-page text as it is.
extern template class OutputDebugStringBuf<char>;
extern template class outputdebug_stream<char>;
