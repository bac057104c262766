#include "InterfaceLanguage.h"

#include <windows.h>

#include <shlwapi.h>

#include <optional>

#include "TextConversion.h"
#include "WinHandles.h"

namespace {

constexpr size_t kExtensionBytes = 4;
constexpr DWORD kValueRoom = 260;

// Nothing when the bare name does not convert (it is too long for the conversion's room): with no
// name the path would be "SOFTWARE\\Language", a key that belongs to no product.
std::optional<std::wstring> LanguageKeyPath(const std::string& progName) {
  std::string bare =
      progName.size() < kExtensionBytes ? progName : progName.substr(0, progName.size() - kExtensionBytes);
  std::wstring name;  // without any ProgName the key path has an empty name
  if (!Cp936ToWide(bare.c_str(), name) && !bare.empty()) return std::nullopt;
  return L"SOFTWARE\\" + name + L"\\Language";
}

// `value` ends within its room. zh-CN is asked first, so that a text naming both languages means Chinese.
bool ChineseByValue(const char* value) {
  return StrStrIA(value, "zh-CN") != nullptr || StrStrIA(value, "en-US") == nullptr;
}

}  // namespace

bool ChineseInterfaceFor(const std::string& progName) {
  const std::optional<std::wstring> path = LanguageKeyPath(progName);
  if (!path) return true;
  portico::RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path->c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return true;
  }
  // One byte beyond the room the value may fill stays zero, so that a value stored without a
  // terminator (its type is not looked at) still ends inside the buffer for StrStrIA.
  char value[kValueRoom + 1] = {};
  DWORD size = kValueRoom;
  if (RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
    return true;
  }
  return ChineseByValue(value);
}

bool ChineseInterfaceForSetting(const std::wstring& language) {
  // The text takes the road a string value of the same text takes through RegQueryValueExA: into the
  // ANSI code page with the platform's default conversion, within the same room.
  char value[kValueRoom + 1] = {};
  if (WideCharToMultiByte(CP_ACP, 0, language.c_str(), -1, value, kValueRoom, nullptr, nullptr) == 0) return true;
  return ChineseByValue(value);
}
