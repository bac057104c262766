#include "DisplayText.h"

#include <cstdio>

#include "EntryName.h"

std::string Utf8(const std::wstring& units) { return EncodeUtf8(units); }

std::string Shortened(const std::string& utf8) {
  constexpr size_t kLongest = 64;
  if (utf8.size() <= kLongest) return utf8;
  size_t cut = kLongest;
  while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
  return utf8.substr(0, cut) + "...";
}

std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char shown[12];
      std::snprintf(shown, sizeof shown, "<U+%04X>", byte);
      out += shown;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Quoted(const std::wstring& units) { return Quoted(Utf8(units)); }
