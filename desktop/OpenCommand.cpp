#include "OpenCommand.h"

namespace {

constexpr wchar_t kCommandKeySuffix[] = L"\\shell\\open\\command";

// ASCII only: a scheme is a URL's first word, not a localised name.
bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsSchemeName(const std::wstring& name) {
  if (name.empty() || !IsAsciiLetter(name.front())) return false;
  for (wchar_t c : name) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != L'+' && c != L'-' && c != L'.') return false;
  }
  return true;
}

bool IsFullPath(const std::wstring& path) {
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\') return true;
  return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
}

}  // namespace

bool IsSchemeCommandKey(const std::wstring& subKey) { return SchemeOfCommandKey(subKey).has_value(); }

std::optional<std::wstring> SchemeOfCommandKey(const std::wstring& subKey) {
  const std::wstring suffix = kCommandKeySuffix;
  if (subKey.size() <= suffix.size() || subKey.compare(subKey.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return std::nullopt;
  }
  std::wstring scheme = subKey.substr(0, subKey.size() - suffix.size());
  if (!IsSchemeName(scheme)) return std::nullopt;
  return scheme;
}

std::optional<std::wstring> OpenCommandText(const std::wstring& launcherPath) {
  if (launcherPath.empty() || launcherPath.size() > kMaxLauncherPathForCommand) return std::nullopt;
  return L"\"" + launcherPath + L"\" \"%1\"";
}

std::optional<std::wstring> ProgramOfCommand(const std::wstring& command) {
  // A value stored in a padded buffer ends at its first zero.
  const std::wstring text = command.substr(0, command.find(L'\0'));
  std::wstring program;
  if (!text.empty() && text.front() == L'"') {
    const size_t close = text.find(L'"', 1);
    if (close == std::wstring::npos) return std::nullopt;
    program = text.substr(1, close - 1);
  } else {
    program = text.substr(0, text.find(L' '));
  }
  if (!IsFullPath(program)) return std::nullopt;
  return program;
}
