#include "MinisignKey.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t kKeyBytes = 42;
constexpr size_t kKeyChars = kKeyBytes / 3 * 4;  // 42 bytes fill their last group: no padding

int Base64Digit(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return c - L'A';
  if (c >= L'a' && c <= L'z') return c - L'a' + 26;
  if (c >= L'0' && c <= L'9') return c - L'0' + 52;
  if (c == L'+') return 62;
  if (c == L'/') return 63;
  return -1;
}

}  // namespace

std::optional<std::string> MinisignKeyId(const std::wstring& text) {
  if (text.size() != kKeyChars) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t group = 0; group < kKeyChars; group += 4) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
      const int digit = Base64Digit(text[group + i]);
      if (digit < 0) return std::nullopt;
      bits = (bits << 6) | static_cast<uint32_t>(digit);
    }
    bytes.push_back(static_cast<uint8_t>(bits >> 16));
    bytes.push_back(static_cast<uint8_t>(bits >> 8));
    bytes.push_back(static_cast<uint8_t>(bits));
  }
  if (bytes[0] != 'E' || bytes[1] != 'd') return std::nullopt;
  // minisign shows the id as the little-endian number its 8 bytes make.
  uint64_t id = 0;
  for (size_t i = 9; i >= 2; --i) id = (id << 8) | bytes[i];
  char shown[17];
  std::snprintf(shown, sizeof shown, "%016llX", static_cast<unsigned long long>(id));
  return std::string(shown);
}
