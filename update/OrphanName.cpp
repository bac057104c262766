#include "OrphanName.h"

namespace {

constexpr wchar_t kPrefix[] = L"~pt~";
constexpr size_t kPrefixLength = sizeof(kPrefix) / sizeof(wchar_t) - 1;

std::wstring Hex(uint32_t value) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return text;
}

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

std::wstring OrphanName(uint32_t processId, uint32_t serial) {
  return kPrefix + Hex(processId) + L"-" + Hex(serial) + L".tmp";
}

bool IsOrphanName(const std::wstring& name) {
  if (name.size() < kPrefixLength) return false;
  for (size_t i = 0; i < kPrefixLength; ++i) {
    if (AsciiLower(name[i]) != kPrefix[i]) return false;
  }
  return true;
}

bool IsUpdateStampName(const std::wstring& name) { return IsOwnName(name, kUpdateStampName); }

bool IsOwnName(const std::wstring& name, const std::wstring& ownName) {
  if (name.size() != ownName.size()) return false;
  for (size_t i = 0; i < ownName.size(); ++i) {
    if (AsciiLower(name[i]) != ownName[i]) return false;
  }
  return true;
}
