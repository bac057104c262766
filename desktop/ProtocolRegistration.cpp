#include "ProtocolRegistration.h"

#include <cwchar>

#include "Log.h"
#include "OpenCommand.h"
#include "ProtocolRegistrationStore.h"
#include "WinHandles.h"

namespace {

LSTATUS StoreDefaultValue(HKEY commandKey, const std::wstring& command) {
  // The text and its terminating zero, nothing more: readers with a small buffer, Wine's shell
  // among them (256 characters), reject a padded value and the scheme stops working.
  const DWORD size = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(commandKey, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()), size);
}

}  // namespace

void RegisterOpenCommand(const std::wstring& subKey, StoreOpenCommand store) {
  if (!IsSchemeCommandKey(subKey)) return;

  wchar_t modulePath[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
  if (length == 0) {
    std::wprintf(L"GetModuleFileName failed w/err 0x%08lx\n", GetLastError());
    return;
  }
  // A path that filled the buffer was cut, and is longer than any command can hold anyway.
  const auto command = OpenCommandText(std::wstring(modulePath, length));
  if (!command) return;

  portico::RegKey commandKey;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, commandKey.put(),
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (store(commandKey.get(), *command) != ERROR_SUCCESS) WriteWide(PORTICO_LOG_INFO, L"set reg failure: ");
}

void WriteRegFun(const std::wstring& subKey) { RegisterOpenCommand(subKey, StoreDefaultValue); }
