#include "DisplayText.h"

#include <cstdio>

namespace {

void AppendUtf8(unsigned code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsHigh(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string Utf8(const std::wstring& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    // Masked: on Linux wchar_t is wider, but it holds UTF-16 units here as on Windows.
    unsigned unit = static_cast<unsigned>(units[i]) & 0xFFFF;
    if (IsHigh(unit) && i + 1 < units.size() && IsLow(static_cast<unsigned>(units[i + 1]) & 0xFFFF)) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + ((static_cast<unsigned>(units[++i]) & 0xFFFF) - 0xDC00);
    } else if (IsHigh(unit) || IsLow(unit)) {
      unit = 0xFFFD;
    }
    AppendUtf8(unit, out);
  }
  return out;
}

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
