#include "LogFilePath.h"

#include <cstdint>

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool TakenAsItStands(const std::wstring& path) { return IsSeparator(path[0]) || (path.size() >= 2 && path[1] == L':'); }

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

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

std::wstring LogFileLockName(const std::wstring& path) {
  // FNV-1a over the upper-cased units: a name of fixed length whatever the path's.
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : path) {
    hash ^= static_cast<uint16_t>(AsciiUpper(c));
    hash *= 1099511628211ull;
  }
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"Local\\PorticoLogFile.";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return name;
}

std::wstring LogFileLockPath(const std::wstring& path) { return path + L".lock"; }

std::wstring WithoutLongPathPrefix(const std::wstring& path) {
  static const std::wstring kPrefix = L"\\\\?\\";
  static const std::wstring kUncPrefix = L"\\\\?\\UNC\\";
  if (path.compare(0, kUncPrefix.size(), kUncPrefix) == 0) return L"\\\\" + path.substr(kUncPrefix.size());
  if (path.compare(0, kPrefix.size(), kPrefix) == 0) return path.substr(kPrefix.size());
  return path;
}
