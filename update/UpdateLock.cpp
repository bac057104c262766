#include "UpdateLock.h"

#include <windows.h>

#include <cstdint>

#include "PathGuard.h"

namespace {

constexpr DWORD kOtherUpdateBoundMs = 120000;

// FNV-1a: a name, not a secret; any two folders that collide merely update one after the other.
uint64_t Fingerprint(const std::wstring& text) {
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : text) {
    hash ^= static_cast<uint16_t>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

std::wstring UpdateLockName(const std::wstring& folder) {
  std::wstring resolved = FinalPathOfFolder(folder);
  if (resolved.empty()) resolved = folder;
  while (resolved.size() > 1 && (resolved.back() == L'\\' || resolved.back() == L'/')) resolved.pop_back();
  // Folder names ignore case; the upper-casing of the file system is the invariant one.
  CharUpperBuffW(resolved.data(), static_cast<DWORD>(resolved.size()));
  wchar_t hex[17];
  wsprintfW(hex, L"%08lx%08lx", static_cast<unsigned long>(Fingerprint(resolved) >> 32),
            static_cast<unsigned long>(Fingerprint(resolved) & 0xFFFFFFFFu));
  // Global: the launchers of two sessions share one installation.
  return std::wstring(L"Global\\Portico.Update.") + hex;
}

UpdateLock::UpdateLock(const std::wstring& folder)
    : mutex_(CreateMutexW(nullptr, FALSE, UpdateLockName(folder).c_str())) {
  if (!mutex_) {
    granted_ = true;
    return;
  }
  const DWORD waited = WaitForSingleObject(mutex_.get(), kOtherUpdateBoundMs);
  owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  granted_ = owned_;
}

UpdateLock::~UpdateLock() {
  if (owned_) ReleaseMutex(mutex_.get());
}
