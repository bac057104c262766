#include "InterfaceLanguage.h"

#include <windows.h>

#include <shlwapi.h>

#include "TextConversion.h"
#include "WinHandles.h"

namespace {

constexpr size_t kExtensionBytes = 4;
constexpr DWORD kValueRoom = 260;

std::wstring LanguageKeyPath(const std::string& progName) {
  std::string bare =
      progName.size() < kExtensionBytes ? progName : progName.substr(0, progName.size() - kExtensionBytes);
  std::wstring name;  // stays empty when the conversion fails: the key path then has an empty name
  Cp936ToWide(bare.c_str(), name);
  return L"SOFTWARE\\" + name + L"\\Language";
}

// `value` ends within its room. zh-CN is asked first, so that a text naming both languages means Chinese.
bool ChineseByValue(const char* value) {
  return StrStrIA(value, "zh-CN") != nullptr || StrStrIA(value, "en-US") == nullptr;
}

}  // namespace

bool ChineseInterfaceFor(const std::string& progName) {
  portico::RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, LanguageKeyPath(progName).c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS) {
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
