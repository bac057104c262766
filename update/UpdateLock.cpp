#include "UpdateLock.h"

#include <windows.h>

#include "OrphanName.h"
#include "PathGuard.h"

namespace {

// As long as any real update takes: a slow disk, a large archive, a virus scanner on every file.
constexpr ULONGLONG kOtherUpdateBoundMs = 120000;
// Past this, the wait is long enough for the user to wonder why nothing happens.
constexpr ULONGLONG kMomentMs = 1000;
constexpr DWORD kPollMs = 100;
// A lock let go between the two opens is seldom let go twice more.
constexpr int kVanishedTries = 3;

// Sleeps for `ms` while dispatching whatever arrives for the thread's windows, so that a window
// shown during the wait paints and answers rather than turning "not responding".
void PauseAnswering(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= until) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
  }
}

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The lock's own file: no link, no folder, one name, where the installation's folder leads. A link at
// the name opens as the link itself on Windows; under Wine a host symbolic link opens as what it leads
// to, and only the final path gives it away.
bool IsLockFileAt(HANDLE file, const std::wstring& folder, const std::wstring& name) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) || info.nNumberOfLinks != 1) {
    return false;
  }
  return LiesAtItsName(file, folder, name);
}

void DeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

}  // namespace

UpdateLock::UpdateLock(const std::wstring& folder, const std::function<void()>& onLongWait) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  // A name no archive entry can take; one left behind is swept like any other orphan.
  const std::wstring name = OrphanName(0, 0);
  path += name;
  const ULONGLONG start = GetTickCount64();
  bool told = false;
  int vanished = 0;
  for (;;) {
    // Made anew where no name is, or else opened as it stands; never made through a link at the name
    // that leads nowhere. Marked for deletion only once it is known to be the lock's own file:
    // deleting on close what a link at the name leads to would delete a file anywhere the elevated
    // launcher may write.
    constexpr DWORD kAccess = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT;
    file_.reset(CreateFileW(path.c_str(), kAccess, 0, nullptr, CREATE_NEW, kFlags, nullptr));
    if (!file_ && GetLastError() == ERROR_FILE_EXISTS) {
      file_.reset(CreateFileW(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, kFlags, nullptr));
      // Gone in between (its holder let it go), or a link that leads nowhere, which stays so.
      if (!file_ && GetLastError() == ERROR_FILE_NOT_FOUND) {
        if (++vanished < kVanishedTries) continue;
        squatter_ = Squatter::FolderKept;
        granted_ = true;
        return;
      }
    }
    if (file_) {
      if (IsLockFileAt(file_.get(), folder, name)) {
        DeleteOnClose(file_.get());
      } else {
        file_.reset();
        squatter_ = Squatter::FolderKept;
      }
      granted_ = true;
      return;
    }
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    // A folder at the name is held by no launcher. Only who may write the installation can make one,
    // so an empty one is removed; a link (never followed) or one with content is left, and the
    // launcher goes on without the lock as it does where no file can be made.
    if (IsFolder(attributes)) {
      const bool removable = squatter_ == Squatter::None && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
      if (removable && RemoveDirectoryW(path.c_str())) {
        squatter_ = Squatter::FolderRemoved;
        continue;
      }
      squatter_ = Squatter::FolderKept;
      granted_ = true;
      return;
    }
    // Only another launcher holding it (or just letting it go) is worth the wait; a folder that
    // takes no file at all (no rights to it, a read-only medium) leaves the launcher to go on as a
    // lone one would.
    const bool held =
        error == ERROR_SHARING_VIOLATION || (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES);
    if (!held) {
      granted_ = true;
      return;
    }
    waited_ = true;
    const ULONGLONG now = GetTickCount64();
    if (now - start >= kOtherUpdateBoundMs) return;
    if (!told && now - start >= kMomentMs) {
      told = true;
      if (onLongWait) onLongWait();
    }
    PauseAnswering(kPollMs);
  }
}
