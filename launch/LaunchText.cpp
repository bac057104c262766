#include "LaunchText.h"

namespace {

constexpr wchar_t kForceRunPrefix[] = L"forcerun:";
constexpr size_t kForceRunLength = sizeof(kForceRunPrefix) / sizeof(wchar_t) - 1;
// "://" between the scheme name and the payload; skipped without being looked at.
constexpr size_t kSchemeSeparatorLength = 3;
constexpr size_t kPathLimit = 259;  // characters, without the terminator

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// URL schemes ignore letter case, and browsers hand them over lower-cased whatever the page wrote:
// a match that depended on case would let a link pass unquoted.
size_t FindIgnoringAsciiCase(const std::wstring& text, const std::wstring& pattern) {
  if (pattern.size() > text.size()) return std::wstring::npos;
  for (size_t at = 0; at + pattern.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < pattern.size() && AsciiLower(text[at + i]) == AsciiLower(pattern[i])) ++i;
    if (i == pattern.size()) return at;
  }
  return std::wstring::npos;
}

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
  size_t at = FindIgnoringAsciiCase(text, scheme);
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

void AppendLaunchArguments(std::wstring& parameters, const std::vector<std::wstring>& arguments, size_t searchFrom) {
  for (const std::wstring& name : arguments) {
    if (parameters.find(name, searchFrom) == std::wstring::npos) {
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

std::wstring FolderOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  const bool driveRoot = separator == 2 && path[1] == L':';
  return path.substr(0, driveRoot ? separator + 1 : separator);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
  return separated ? folder + name : folder + L"\\" + name;
}

bool IsBareFileName(const std::wstring& name) {
  // Windows drops trailing dots and blanks when it opens a file: "Start.bat " opens a script that
  // the name's own checks would not see.
  return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name.find(L"..") == std::wstring::npos &&
         name.back() != L'.' && name.back() != L' ';
}

bool IsCommandScriptName(const std::wstring& name) {
  if (name.size() < 4) return false;
  std::wstring extension = name.substr(name.size() - 4);
  for (wchar_t& c : extension) c = AsciiLower(c);
  return extension == L".bat" || extension == L".cmd";
}

std::wstring TargetCommandLine(const std::wstring& targetPath, const std::wstring& parameters) {
  std::wstring commandLine = L"\"" + targetPath + L"\"";
  if (!parameters.empty()) commandLine += L" " + parameters;
  return commandLine;
}

bool RetryThroughElevationPrompt(unsigned long error, bool launcherElevated) {
  constexpr unsigned long kElevationRequired = 740;
  return error == kElevationRequired && !launcherElevated;
}

bool IsSafePipeName(const std::wstring& name) {
  return name.find_first_of(L"\\/") == std::wstring::npos && name.find(L"..") == std::wstring::npos;
}
