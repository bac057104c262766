#include "LogFileWriter.h"

#include <utility>

#include "LogData.h"
#include "LogFilePath.h"
#include "QueryMask.h"

namespace cpplog {
namespace {

// Long enough for another launcher to finish a record, short enough that the launch never waits on
// logging: without the lock the record still goes out, whole, but the file is not rotated.
constexpr DWORD kLockWaitMs = 500;

class HeldMutex {
 public:
  HeldMutex(HANDLE mutex, DWORD waitMs) : mutex_(mutex) {
    // An owner that died while holding it left the file as whole as its last write.
    const DWORD waited = mutex ? WaitForSingleObject(mutex, waitMs) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~HeldMutex() {
    if (held_) ReleaseMutex(mutex_);
  }
  HeldMutex(const HeldMutex&) = delete;
  HeldMutex& operator=(const HeldMutex&) = delete;
  bool held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

}  // namespace

LogFileWriter::LogFileWriter(std::wstring path, bool maskQueries)
    : path_(std::move(path)),
      older_(path_ + L".1"),
      maskQueries_(maskQueries),
      lock_(CreateMutexW(nullptr, FALSE, LogFileLockName(path_).c_str())) {}

void LogFileWriter::RotateIfFull() const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) return;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
  const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  // Refused while a viewer holds either file without delete sharing: the file then grows on, and
  // nothing is lost.
  if (size > kRotationSize) MoveFileExW(path_.c_str(), older_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool LogFileWriter::deliverRecord(LogData* record) {
  if (!record) return true;
  std::string line(record->buffer, record->length());
  if (maskQueries_) line = MaskLinkQueries(line);
  const HeldMutex lock(lock_.get(), kLockWaitMs);
  if (lock.held()) RotateIfFull();
  // Opened for each record: the file another launcher just rotated is never written after it.
  // Append-only access makes each write land whole at the end, lock or no lock; read sharing lets a
  // viewer follow the file, delete sharing lets another launcher rotate it meanwhile.
  portico::FileHandle file(CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  // A device or a pipe could block the write, and the launch with it.
  if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return true;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return true;
}

}  // namespace cpplog
