#include "LaunchText.h"

namespace {

constexpr wchar_t kForceRunPrefix[] = L"forcerun:";
constexpr size_t kForceRunLength = sizeof(kForceRunPrefix) / sizeof(wchar_t) - 1;
// "://" between the scheme name and the payload; skipped without being looked at.
constexpr size_t kSchemeSeparatorLength = 3;
constexpr size_t kPathLimit = 259;  // characters, without the terminator

bool IsWellFormedPayload(const std::wstring& payload) {
  if (payload.empty() || payload.back() != L'"') return false;
  if (payload.find(L'"') != payload.size() - 1) return false;
  return payload.size() < 2 || payload[payload.size() - 2] != L'\\';
}

}  // namespace

LaunchRequest SplitForceRun(const std::wstring& commandLine) {
  if (commandLine.compare(0, kForceRunLength, kForceRunPrefix) == 0) {
    return {commandLine.substr(kForceRunLength), true};
  }
  return {commandLine, false};
}

LinkPayload FindLinkPayload(const std::wstring& text, const std::wstring& scheme) {
  size_t at = text.find(scheme);
  if (at == std::wstring::npos) return {};
  size_t start = at + scheme.size() + kSchemeSeparatorLength;
  return {true, start < text.size() ? text.substr(start) : std::wstring()};
}

std::wstring QuotePayload(const std::wstring& payload) {
  if (IsWellFormedPayload(payload)) return L"\"" + payload;

  // Anything else could end the argument early and smuggle in arguments of its own: the closing
  // quote goes, other quotes are percent-encoded (a valid URL never holds a raw one), and
  // backslashes before the new closing quote are doubled so that they stay literal.
  std::wstring body = payload;
  if (!body.empty() && body.back() == L'"') body.pop_back();
  std::wstring quoted = L"\"";
  for (wchar_t c : body) {
    if (c == L'"') {
      quoted += L"%22";
    } else {
      quoted += c;
    }
  }
  size_t trailing = 0;
  while (trailing < body.size() && body[body.size() - 1 - trailing] == L'\\') ++trailing;
  quoted.append(trailing, L'\\');
  quoted += L'"';
  return quoted;
}

void AppendAdminHint(std::wstring& parameters) { parameters += L" IsAdmin"; }

void AppendLaunchArguments(std::wstring& parameters, const std::vector<std::wstring>& arguments) {
  for (const std::wstring& name : arguments) {
    if (parameters.find(name) == std::wstring::npos) {
      parameters += L' ';
      parameters += name;
    }
  }
}

std::wstring ShortName(const std::wstring& progName) {
  return progName.size() < 4 ? progName : progName.substr(0, progName.size() - 4);
}

std::optional<std::wstring> IconPathFor(const std::wstring& launcherFolder, const std::wstring& shortName) {
  std::wstring path = launcherFolder + L"//" + shortName + L".ico";
  if (path.size() > kPathLimit) return std::nullopt;
  return path;
}

bool IsSafePipeName(const std::wstring& name) {
  return name.find_first_of(L"\\/") == std::wstring::npos && name.find(L"..") == std::wstring::npos;
}
