#include "MinisignKey.h"

#include "MinisignFormat.h"

std::optional<std::string> MinisignKeyId(const std::wstring& text) {
  std::string ascii;
  for (wchar_t c : text) {
    if (c <= 0 || c > 0x7E) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  const std::optional<MinisignKey> key = ParseMinisignKey(ascii);
  if (!key) return std::nullopt;
  return KeyIdText(key->id);
}
