#include "LogFileWriter.h"

#include <utility>

#include "FileRename.h"
#include "LogData.h"
#include "LogFilePath.h"
#include "QueryMask.h"

namespace cpplog {
namespace {

// Long enough for another launcher to finish a record, short enough that the launch never waits on
// logging: without the lock the record still goes out, whole, but the file is not rotated.
constexpr ULONGLONG kLockWaitMs = 500;
constexpr DWORD kLockPollMs = 10;
constexpr DWORD kPathRoom = 1024;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Past the platform's path limit only in the long form, which takes a full path.
std::wstring LockPathFor(const std::wstring& path) {
  const std::wstring lock = LogFileLockPath(path);
  if (lock.size() < MAX_PATH) return lock;
  wchar_t full[kPathRoom];
  const DWORD length = GetFullPathNameW(lock.c_str(), kPathRoom, full, nullptr);
  if (length == 0 || length >= kPathRoom) return lock;
  const std::wstring fullPath(full, length);
  if (fullPath.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + fullPath.substr(2);
  return L"\\\\?\\" + fullPath;
}

// The path may come from the environment of the user who started the elevated launcher: the open
// file must be a plain file of one name that lies where the path says, not where a link planted at
// the path or on one of its folders leads.
bool IsPlainFileAt(HANDLE file, const std::wstring& path, unsigned long long& size) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) return false;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) || info.nNumberOfLinks != 1) {
    return false;
  }
  size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  wchar_t final[kPathRoom];
  const DWORD finalLength = GetFinalPathNameByHandleW(file, final, kPathRoom, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  wchar_t full[kPathRoom];
  const DWORD fullLength = GetFullPathNameW(path.c_str(), kPathRoom, full, nullptr);
  if (finalLength == 0 || finalLength >= kPathRoom || fullLength == 0 || fullLength >= kPathRoom) return false;
  // The final path spells each folder by its long name.
  wchar_t meant[kPathRoom];
  const DWORD meantLength = GetLongPathNameW(full, meant, kPathRoom);
  const wchar_t* expected = meantLength > 0 && meantLength < kPathRoom ? meant : full;
  // The lock's path may be in the long form.
  return CompareStringOrdinal(WithoutLongPathPrefix(std::wstring(final, finalLength)).c_str(), -1,
                              WithoutLongPathPrefix(expected).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A lock file that nobody holds opens with no sharing: one planted there, or left by a system that
// stopped before its holder ended. It is deleted through that handle, so that a link at the name goes
// and not what it leads to: on Windows the handle is the link itself; under Wine a host link opens as
// its target, lies elsewhere, and is left.
bool DeleteUnheldLock(const std::wstring& lockPath) {
  const portico::FileHandle lock(CreateFileW(lockPath.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!lock) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  unsigned long long size = 0;
  if (!GetFileInformationByHandle(lock.get(), &info)) return false;
  const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!link && !IsPlainFileAt(lock.get(), lockPath, size)) return false;
  // A read-only file refuses deletion until it is writable.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(lock.get(), FileBasicInfo, &basic, sizeof(basic));
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(lock.get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

// The lock is a file that exists while a launcher holds it: made anew, shared with no one, gone when
// its handle closes, also when its holder is killed. Only those who may create files beside the log
// file can hold it, unlike a name in the session's namespace, which anyone in the session may own.
// Only a lock file that someone holds makes a launcher wait; one it may not make (no right, or one
// still going away) means no lock, at once.
portico::FileHandle TakeLock(const std::wstring& lockPath) {
  const ULONGLONG deadline = GetTickCount64() + kLockWaitMs;
  bool unheldLooked = false;
  for (;;) {
    portico::FileHandle lock(CreateFileW(lockPath.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (lock || GetLastError() != ERROR_FILE_EXISTS) return lock;
    if (!unheldLooked) {
      unheldLooked = true;
      if (DeleteUnheldLock(lockPath)) continue;
    }
    if (GetTickCount64() >= deadline) return lock;
    Sleep(kLockPollMs);
  }
}

// Append-only access makes each write land whole at the end, lock or no lock; read sharing lets a
// viewer follow the file, delete sharing lets another launcher rotate it meanwhile.
portico::FileHandle OpenForAppend(const std::wstring& path) {
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
  portico::FileHandle file;
  bool created = false;
  // Another launcher may create or rotate the file between the two calls.
  for (int attempt = 0; attempt < 3 && !file; ++attempt) {
    file.reset(CreateFileW(path.c_str(), kAccess, kShareAll, nullptr, OPEN_EXISTING, kFlags, nullptr));
    if (file || GetLastError() != ERROR_FILE_NOT_FOUND) break;
    // Made here, it may be deleted again, should it turn out to lie elsewhere.
    file.reset(CreateFileW(path.c_str(), kAccess | DELETE, kShareAll, nullptr, CREATE_NEW, kFlags, nullptr));
    created = static_cast<bool>(file);
    if (!file && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  unsigned long long size = 0;
  if (!file || IsPlainFileAt(file.get(), path, size)) return file;
  if (created) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
  }
  return portico::FileHandle();
}

}  // namespace

LogFileWriter::LogFileWriter(std::wstring path, bool maskQueries)
    : path_(std::move(path)), older_(path_ + L".1"), lockPath_(LockPathFor(path_)), maskQueries_(maskQueries) {}

// Renamed through the handle that was checked, not by name again.
void LogFileWriter::RotateIfFull() const {
  // Refused while a viewer holds either file without delete sharing: the file then grows on, and
  // nothing is lost.
  const portico::FileHandle file(CreateFileW(path_.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  unsigned long long size = 0;
  if (file && IsPlainFileAt(file.get(), path_, size) && size > kRotationSize) RenameOpenFile(file.get(), older_, true);
}

bool LogFileWriter::deliverRecord(LogData* record) {
  if (!record) return true;
  std::string line(record->buffer, record->length());
  if (maskQueries_) line = MaskLinkQueries(line);
  const portico::FileHandle lock = TakeLock(lockPath_);
  if (lock) RotateIfFull();
  // Opened for each record: the file another launcher just rotated is never written after it.
  const portico::FileHandle file = OpenForAppend(path_);
  if (!file) return true;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return true;
}

}  // namespace cpplog
