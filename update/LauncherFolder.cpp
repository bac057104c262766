#include "LauncherFolder.h"

#include <windows.h>

namespace {

constexpr DWORD kModulePathRoom = 1024;

// In a double-byte code page (936, 932) a trailing byte can be 0x5C, the code of a backslash, so
// the text is walked character by character.
size_t LastAnsiBackslash(const char* text, size_t length) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < length; ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < length) {
      ++i;
    } else if (text[i] == '\\') {
      last = i;
    }
  }
  return last;
}

}  // namespace

bool GetLauncherFolderAnsi(std::string& folder) {
  char path[kModulePathRoom];
  const DWORD length = GetModuleFileNameA(GetModuleHandleW(nullptr), path, kModulePathRoom);
  // A full room means the path was cut.
  if (length == 0 || length >= kModulePathRoom) return false;
  const size_t backslash = LastAnsiBackslash(path, length);
  if (backslash == std::string::npos) return false;
  folder.assign(path, backslash + 1);
  return true;
}

bool GetLauncherFolder(std::wstring& folder) {
  wchar_t path[kModulePathRoom];
  const DWORD length = GetModuleFileNameW(GetModuleHandleW(nullptr), path, kModulePathRoom);
  if (length == 0 || length >= kModulePathRoom) return false;
  const std::wstring text(path, length);
  const size_t backslash = text.find_last_of(L'\\');
  if (backslash == std::wstring::npos) return false;
  folder = text.substr(0, backslash + 1);
  return true;
}
