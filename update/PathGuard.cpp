#include "PathGuard.h"

#include "WinHandles.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool IsReparsePoint(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring FinalPathOf(HANDLE handle) {
  wchar_t path[MAX_PATH * 2];
  for (DWORD flags : {FILE_NAME_NORMALIZED, FILE_NAME_OPENED}) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path, MAX_PATH * 2, flags | VOLUME_NAME_DOS);
    if (length > 0 && length < MAX_PATH * 2) return std::wstring(path, length);
  }
  return {};
}

std::wstring FinalPathOfFolder(const std::wstring& folder) {
  // No access at all is asked for: only the name is wanted, and a folder opens only this way.
  portico::FileHandle handle(CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle ? FinalPathOf(handle.get()) : std::wstring();
}

bool LiesAtItsName(HANDLE file, const std::wstring& folder, const std::wstring& name) {
  std::wstring meant = FinalPathOfFolder(folder);
  if (meant.empty()) return false;
  if (!IsSeparator(meant.back())) meant += L'\\';
  meant += name;
  return CompareStringOrdinal(FinalPathOf(file).c_str(), -1, meant.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool LiesInsideRoot(const std::wstring& root, const std::wstring& name) {
  const std::wstring joined = root + name;
  if (joined.size() >= MAX_PATH) return false;
  wchar_t full[MAX_PATH];
  wchar_t fullRoot[MAX_PATH];
  const DWORD length = GetFullPathNameW(joined.c_str(), MAX_PATH, full, nullptr);
  const DWORD rootLength = GetFullPathNameW(root.c_str(), MAX_PATH, fullRoot, nullptr);
  if (length == 0 || length >= MAX_PATH || rootLength == 0 || rootLength >= MAX_PATH) return false;
  return length > rootLength && _wcsnicmp(full, fullRoot, rootLength) == 0;
}

bool LiesBelow(const std::wstring& finalPath, const std::wstring& finalFolder) {
  if (finalFolder.empty() || finalPath.size() <= finalFolder.size()) return false;
  const bool folderEndsInSeparator = IsSeparator(finalFolder.back());
  if (!folderEndsInSeparator && !IsSeparator(finalPath[finalFolder.size()])) return false;
  return CompareStringOrdinal(finalPath.c_str(), static_cast<int>(finalFolder.size()), finalFolder.c_str(),
                              static_cast<int>(finalFolder.size()), TRUE) == CSTR_EQUAL;
}
