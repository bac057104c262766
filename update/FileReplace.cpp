#include "FileReplace.h"

#include <atomic>
#include <vector>

#include "OrphanName.h"
#include "PathGuard.h"

namespace {

constexpr int kOrphanNameAttempts = 100;
constexpr ULONGLONG kPassingLockBoundMs = 2000;
constexpr DWORD kFirstBackOffMs = 25;
constexpr DWORD kLongestBackOffMs = 400;

std::wstring FreshOrphanPath(const std::wstring& folder) {
  static std::atomic<uint32_t> serial{0};
  return folder + OrphanName(GetCurrentProcessId(), ++serial);
}

bool IsPassingLock(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool Rename(const std::wstring& from, const std::wstring& to, DWORD flags) {
  return MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// A file system that cannot rename an open file that way still renames it by name, once the handle
// is closed; it is opened again after, for what remains to be set.
bool RenameByName(portico::FileHandle& file, const std::wstring& temporary, const std::wstring& to, bool replace) {
  file.reset();
  const bool renamed = Rename(temporary, to, replace ? MOVEFILE_REPLACE_EXISTING : 0);
  const std::wstring& now = renamed ? to : temporary;
  file.reset(CreateFileW(now.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  return renamed;
}

bool RenameUnsupported(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

bool TakeName(portico::FileHandle& file, const std::wstring& temporary, const std::wstring& path, bool replace) {
  if (RenameOpenFile(file.get(), path, replace)) return true;
  return RenameUnsupported(GetLastError()) && RenameByName(file, temporary, path, replace);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The old file steps aside only when the new one can take its name; otherwise it comes back. A
// folder never steps aside: it would be left under an orphan name that no sweep removes.
bool ReplaceByMovingAside(portico::FileHandle& file, const std::wstring& temporary, const std::wstring& path,
                          std::vector<std::wstring>& movedAside) {
  if (IsFolder(path)) return false;
  const size_t separator = path.find_last_of(L"\\/");
  const std::wstring aside = FreshOrphanPath(path.substr(0, separator + 1));
  if (!Rename(path, aside, 0)) return false;
  if (TakeName(file, temporary, path, false)) {
    movedAside.push_back(aside);
    return true;
  }
  Rename(aside, path, 0);
  return false;
}

}  // namespace

portico::FileHandle CreateOrphanFile(const std::wstring& folder, DWORD attributes, std::wstring& path) {
  for (int attempt = 0; attempt < kOrphanNameAttempts; ++attempt) {
    path = FreshOrphanPath(folder);
    if (path.size() >= MAX_PATH) break;
    portico::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, attributes, nullptr));
    if (file || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  path.clear();
  return portico::FileHandle();
}

bool DiscardOpenFile(portico::FileHandle& file) {
  // A read-only file refuses its deletion, also through its handle. Only writing the attributes is
  // sure to be allowed: a file opened for writing may not read them.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof(basic));
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  const bool deleted =
      SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
  const DWORD error = GetLastError();
  file.reset();
  SetLastError(error);
  return deleted;
}

bool DeleteAnyFile(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return true;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
  SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return DeleteFileW(path.c_str()) != FALSE;
}

namespace {

// Deleting by name deletes, under Wine, what a host symbolic link at the name leads to. A link as
// Windows opens it (itself) may go, and so may a file that lies at the orphan's name; anything else
// is left.
bool IsSweepable(const std::wstring& folder, const std::wstring& name) {
  const portico::FileHandle file(CreateFileW((folder + name).c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return false;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || LiesAtItsName(file.get(), folder, name);
}

}  // namespace

int SweepOrphans(const std::wstring& folder) {
  int removed = 0;
  WIN32_FIND_DATAW found{};
  // The pattern also meets short (8.3) names; the long name decides.
  portico::FindHandle search(FindFirstFileW((folder + L"~pt~*").c_str(), &found));
  if (!search) return removed;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsOrphanName(found.cFileName) &&
        IsSweepable(folder, found.cFileName) && DeleteAnyFile(folder + found.cFileName)) {
      ++removed;
    }
  } while (FindNextFileW(search.get(), &found));
  return removed;
}

bool PutInPlace(portico::FileHandle& file, const std::wstring& temporary, const std::wstring& path,
                std::vector<std::wstring>& movedAside) {
  const DWORD old = GetFileAttributesW(path.c_str());
  // A file never takes the place of a folder, whatever the folder holds.
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY)) return false;
  const bool readOnly = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY);
  if (readOnly) {
    const DWORD writable = old & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(path.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
  }
  const ULONGLONG deadline = GetTickCount64() + kPassingLockBoundMs;
  for (DWORD backOff = kFirstBackOffMs;; backOff = backOff * 2 > kLongestBackOffMs ? kLongestBackOffMs : backOff * 2) {
    if (TakeName(file, temporary, path, true)) return true;
    if (!IsPassingLock(GetLastError()) || !file) break;
    if (old != INVALID_FILE_ATTRIBUTES && ReplaceByMovingAside(file, temporary, path, movedAside)) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    Sleep(static_cast<DWORD>(backOff < deadline - now ? backOff : deadline - now));
  }
  if (readOnly) SetFileAttributesW(path.c_str(), old);
  return false;
}
