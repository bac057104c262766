#include "UpdateLock.h"

#include <windows.h>

#include "OrphanName.h"

namespace {

constexpr ULONGLONG kOtherUpdateBoundMs = 120000;
constexpr DWORD kPollMs = 100;

}  // namespace

UpdateLock::UpdateLock(const std::wstring& folder) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  // A name no archive entry can take; one left behind is swept like any other orphan.
  path += OrphanName(0, 0);
  const ULONGLONG deadline = GetTickCount64() + kOtherUpdateBoundMs;
  for (;;) {
    file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (file_) {
      granted_ = true;
      return;
    }
    // Only another launcher holding it (or just letting it go) is worth the wait; a folder that
    // takes no file at all (no rights to it, a read-only medium) leaves the launcher to go on as a
    // lone one would.
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION ||
                      (error == ERROR_ACCESS_DENIED && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES);
    if (!held) {
      granted_ = true;
      return;
    }
    if (GetTickCount64() >= deadline) return;
    Sleep(kPollMs);
  }
}
