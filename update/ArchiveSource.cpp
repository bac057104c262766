#include "ArchiveSource.h"

#include <algorithm>
#include <cstring>

namespace {

ArchiveSource& SourceOf(voidpf stream) { return *static_cast<ArchiveSource*>(stream); }

}  // namespace

bool ArchiveSource::Open(const std::wstring& path) {
  file_.reset(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file_ || !GetFileSizeEx(file_.get(), &size)) {
    file_.reset();
    return false;
  }
  size_ = static_cast<uint64_t>(size.QuadPart);
  position_ = 0;
  for (Window& window : windows_) window.length = 0;
  readFailed_ = false;
  return true;
}

size_t ArchiveSource::ReadAt(uint64_t offset, void* out, size_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  size_t done = 0;
  while (done < size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD read = 0;
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
    if (!ReadFile(file_.get(), bytes + done, ask, &read, &at)) {
      if (GetLastError() != ERROR_HANDLE_EOF) readFailed_ = true;
      break;
    }
    if (read == 0) break;
    done += read;
  }
  return done;
}

ArchiveSource::Window& ArchiveSource::WindowFor(uint64_t offset) {
  for (Window& window : windows_) {
    if (window.Holds(offset)) return window;
  }
  // A read that goes on where a window ends moves that window along; any other jump takes the window
  // used least lately.
  Window* refill = &windows_[0];
  for (Window& window : windows_) {
    if (window.length > 0 && offset >= window.start && offset - window.start < window.length + kBufferSize) {
      refill = &window;
      break;
    }
    if (window.lastUse < refill->lastUse) refill = &window;
  }
  if (refill->bytes.empty()) refill->bytes.resize(kBufferSize);
  refill->start = offset;
  refill->length = ReadAt(offset, refill->bytes.data(), kBufferSize);
  return *refill;
}

size_t ArchiveSource::Read(void* out, size_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  size_t done = 0;
  while (done < size && position_ < size_) {
    const bool buffered = windows_[0].Holds(position_) || windows_[1].Holds(position_);
    // Large reads skip the buffers; small ones refill one from here.
    if (!buffered && size - done >= kBufferSize) {
      const size_t read = ReadAt(position_, bytes + done, size - done);
      done += read;
      position_ += read;
      break;
    }
    Window& window = WindowFor(position_);
    if (window.length == 0) break;
    window.lastUse = ++uses_;
    const size_t offset = static_cast<size_t>(position_ - window.start);
    const size_t take = std::min(size - done, window.length - offset);
    std::memcpy(bytes + done, window.bytes.data() + offset, take);
    done += take;
    position_ += take;
  }
  return done;
}

zlib_filefunc64_def ArchiveSource::Functions() {
  zlib_filefunc64_def functions{};
  // The source itself is the stream; minizip's file name is not looked at.
  functions.zopen64_file = [](voidpf opaque, const void*, int) -> voidpf { return opaque; };
  functions.zread_file = [](voidpf, voidpf stream, void* out, uLong size) -> uLong {
    return static_cast<uLong>(SourceOf(stream).Read(out, static_cast<size_t>(size)));
  };
  functions.zwrite_file = [](voidpf, voidpf, const void*, uLong) -> uLong { return 0; };
  functions.ztell64_file = [](voidpf, voidpf stream) -> ZPOS64_T { return SourceOf(stream).position_; };
  functions.zseek64_file = [](voidpf, voidpf stream, ZPOS64_T offset, int origin) -> long {
    ArchiveSource& source = SourceOf(stream);
    uint64_t base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = source.position_;
    if (origin == ZLIB_FILEFUNC_SEEK_END) base = source.size_;
    source.position_ = base + offset;
    return 0;
  };
  functions.zclose_file = [](voidpf, voidpf) -> int { return 0; };
  functions.zerror_file = [](voidpf, voidpf stream) -> int { return SourceOf(stream).readFailed_ ? 1 : 0; };
  functions.opaque = this;
  return functions;
}
