#include "ShortcutNames.h"

#include <cstddef>
#include <cwchar>

namespace {

constexpr std::size_t kPathBuffer = 260;

}  // namespace

bool IsShortcutName(const wchar_t* name) { return name && *name && !std::wcspbrk(name, L"\\/:"); }

std::optional<std::wstring> ShortcutFile(const std::wstring& desktopFolder, const wchar_t* name) {
  if (desktopFolder.empty() || !IsShortcutName(name)) return std::nullopt;
  std::wstring file = desktopFolder + L"\\" + name + L".lnk";
  if (file.size() >= kPathBuffer) return std::nullopt;
  return file;
}
