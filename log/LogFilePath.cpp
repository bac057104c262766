#include "LogFilePath.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool TakenAsItStands(const std::wstring& path) { return IsSeparator(path[0]) || (path.size() >= 2 && path[1] == L':'); }

}  // namespace

std::optional<std::wstring> LogFilePathFrom(const std::wstring& expanded, const std::wstring& launcherFolder) {
  if (expanded.empty()) return std::nullopt;
  std::wstring path;
  if (TakenAsItStands(expanded)) {
    path = expanded;
  } else {
    if (launcherFolder.empty()) return std::nullopt;
    path = launcherFolder;
    if (!IsSeparator(path.back())) path += L'\\';
    path += expanded;
  }
  if (path.size() > kLogFilePathLimit) return std::nullopt;
  return path;
}

std::wstring LogFileLockPath(const std::wstring& path) { return path + L".lock"; }

std::wstring WithoutLongPathPrefix(const std::wstring& path) {
  static const std::wstring kPrefix = L"\\\\?\\";
  static const std::wstring kUncPrefix = L"\\\\?\\UNC\\";
  if (path.compare(0, kUncPrefix.size(), kUncPrefix) == 0) return L"\\\\" + path.substr(kUncPrefix.size());
  if (path.compare(0, kPrefix.size(), kPrefix) == 0) return path.substr(kPrefix.size());
  return path;
}
