#include "LogFileLocation.h"

#include <windows.h>

#include "LogFilePath.h"

std::optional<std::wstring> ExpandVariables(const std::wstring& text) {
  wchar_t expanded[kLogFilePathLimit + 1];
  // The answer counts the terminating NUL; one larger than the room means the text did not fit.
  const DWORD length = ExpandEnvironmentStringsW(text.c_str(), expanded, kLogFilePathLimit + 1);
  if (length == 0 || length > kLogFilePathLimit + 1) return std::nullopt;
  return std::wstring(expanded, length - 1);
}

std::wstring LogFilePathFor(const std::wstring& setting, const std::wstring& launcherFolder) {
  if (setting.empty()) return {};
  const std::optional<std::wstring> expanded = ExpandVariables(setting);
  if (!expanded) return {};
  return LogFilePathFrom(*expanded, launcherFolder).value_or(std::wstring());
}
