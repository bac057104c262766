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
  // zh-CN is asked first, so that a value naming both languages means Chinese.
  return StrStrIA(value, "zh-CN") != nullptr || StrStrIA(value, "en-US") == nullptr;
}
