#pragma once
// update.zip as one open file for the whole pass: others may read it meanwhile, but none may change,
// replace or delete it, and minizip reads it through this very handle. minizip asks for a few bytes
// at a time, so reads go through buffers.

#include <windows.h>

#include <ioapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "WinHandles.h"

class ArchiveSource {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;

  ArchiveSource() = default;
  ArchiveSource(const ArchiveSource&) = delete;
  ArchiveSource& operator=(const ArchiveSource&) = delete;

  // False when the file cannot be opened now: missing, denied, or held by a program that shares no
  // reading. That is a passing state, never a verdict on the archive.
  bool Open(const std::wstring& path);
  HANDLE handle() const { return file_.get(); }
  uint64_t size() const { return size_; }
  // True once reading the file failed: minizip's refusal then says nothing of the archive itself.
  bool readFailed() const { return readFailed_; }

  // minizip's file functions over this source; valid while it lives. Closing through them leaves the
  // file open.
  zlib_filefunc64_def Functions();

  // Reads `size` bytes at `offset` into `out`, past the buffer; answers the bytes read.
  size_t ReadAt(uint64_t offset, void* out, size_t size);

 private:
  // A stretch of the file held in memory.
  struct Window {
    std::vector<unsigned char> bytes;
    uint64_t start = 0;
    size_t length = 0;
    uint64_t lastUse = 0;
    bool Holds(uint64_t offset) const { return offset >= start && offset - start < length; }
  };

  size_t Read(void* out, size_t size);
  Window& WindowFor(uint64_t offset);

  portico::FileHandle file_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  // minizip walks the central directory at the end of the archive and reads each entry's data at the
  // front in turn: one window follows each, so neither jump throws away what the other still needs.
  Window windows_[2];
  uint64_t uses_ = 0;
  bool readFailed_ = false;
};
