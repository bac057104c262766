#include "FolderCleanup.h"

#include <windows.h>

#include <optional>

#include "SamePath.h"
#include "WinHandles.h"

namespace {

// Held without delete sharing, so that the folder cannot be renamed away and replaced by a link
// while its entries are removed.
portico::FileHandle OpenFolder(const std::wstring& path) {
  return portico::FileHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

std::optional<std::wstring> FinalPath(HANDLE folder) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(folder, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(folder, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  if (length >= path.size()) {
    path.assign(length + 1, L'\0');
    length = GetFinalPathNameByHandleW(folder, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  }
  if (length == 0 || length >= path.size()) return std::nullopt;
  path.resize(length);
  return path;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  return path.size() > folder.size() + 1 && SameText(path.substr(0, folder.size()), folder) &&
         path[folder.size()] == L'\\';
}

bool RemoveEntry(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  // A link to a folder goes with RemoveDirectoryW, which removes the link and not what it leads to.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != 0;
  return DeleteFileW(path.c_str()) != 0;
}

bool EmptyFolder(const std::wstring& folder, const std::wstring& finalFolder, const std::wstring& keep) {
  WIN32_FIND_DATAW found = {};
  portico::FindHandle search(
      FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (!search) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool clean = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L".." || (!keep.empty() && SameText(name, keep))) continue;
    const std::wstring path = folder + L"\\" + name;
    const DWORD attributes = found.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      bool inside = false;
      {
        const portico::FileHandle held = OpenFolder(path);
        const std::optional<std::wstring> final = held ? FinalPath(held.get()) : std::nullopt;
        inside = final && StartsWithFolder(*final, finalFolder);
        if (inside) inside = EmptyFolder(path, *final, L"");
      }
      clean = inside && RemoveEntry(path, attributes) && clean;
      continue;
    }
    clean = RemoveEntry(path, attributes) && clean;
  } while (FindNextFileW(search.get(), &found));
  return clean;
}

}  // namespace

bool EmptyInstallation(const std::wstring& folder, const std::wstring& keep) {
  const portico::FileHandle held = OpenFolder(folder);
  if (!held) return false;
  const std::optional<std::wstring> final = FinalPath(held.get());
  // A folder whose final path is another was reached through a link somewhere above it.
  if (!final || !SamePath(*final, folder)) return false;
  return EmptyFolder(folder, *final, keep);
}
