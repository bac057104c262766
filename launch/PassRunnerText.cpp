#include "PassRunnerText.h"

namespace {

constexpr wchar_t kSwitch[] = L"/portico-pass-runner:";
constexpr size_t kSwitchLength = sizeof(kSwitch) / sizeof(wchar_t) - 1;
constexpr size_t kMostDigits = 16;

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

std::wstring PassRunnerArguments(uint64_t originalHandle, const std::wstring& commandLine) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring hex;
  do {
    hex.insert(hex.begin(), kDigits[originalHandle & 0xF]);
    originalHandle >>= 4;
  } while (originalHandle != 0);
  std::wstring text = kSwitch + hex;
  if (!commandLine.empty()) text += L" " + commandLine;
  return text;
}

PassRunnerRequest SplitPassRunner(const std::wstring& commandLine) {
  PassRunnerRequest request;
  request.commandLine = commandLine;
  if (commandLine.compare(0, kSwitchLength, kSwitch) != 0) return request;
  uint64_t value = 0;
  size_t at = kSwitchLength;
  while (at < commandLine.size() && at - kSwitchLength < kMostDigits && HexDigit(commandLine[at]) >= 0) {
    value = value << 4 | static_cast<uint64_t>(HexDigit(commandLine[at]));
    ++at;
  }
  if (at == kSwitchLength) return request;
  if (at < commandLine.size() && commandLine[at] != L' ') return request;
  request.found = true;
  request.originalHandle = value;
  request.commandLine = at < commandLine.size() ? commandLine.substr(at + 1) : std::wstring();
  return request;
}
