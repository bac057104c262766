#include "EnsureFolder.h"

#include <windows.h>

namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void EnsureFolder(const std::wstring& root, const std::wstring& folder) {
  if (!root.empty() && !Exists(root)) CreateDirectoryW(root.c_str(), nullptr);
  if (folder.empty()) return;
  const size_t separator = folder.find_last_of(L"\\/");
  if (separator != std::wstring::npos && separator > 0) EnsureFolder(root, folder.substr(0, separator));
  const std::wstring path = root + folder;
  if (!Exists(path)) CreateDirectoryW(path.c_str(), nullptr);
}
