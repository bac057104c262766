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
