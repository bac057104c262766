#pragma once
// Turning fuzz bytes into the launcher's kinds of text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// UTF-8 read loosely into UTF-16 code units held in wchar_t, as the launcher holds text on Windows:
// any three-byte form gives its 16-bit value (lone surrogates included), four-byte forms give a
// surrogate pair, and a byte that starts no form stands for itself. Every code unit is reachable
// from a short input, and a text seed stays readable.
inline std::wstring LooseWide(const uint8_t* data, size_t size) {
  std::wstring out;
  size_t at = 0;
  while (at < size) {
    const uint8_t lead = data[at];
    auto continuation = [&](size_t i) { return at + i < size && (data[at + i] & 0xC0) == 0x80; };
    if (lead >= 0xC0 && lead < 0xE0 && continuation(1)) {
      out += static_cast<wchar_t>(((lead & 0x1F) << 6) | (data[at + 1] & 0x3F));
      at += 2;
    } else if (lead >= 0xE0 && lead < 0xF0 && continuation(1) && continuation(2)) {
      out += static_cast<wchar_t>(((lead & 0x0F) << 12) | ((data[at + 1] & 0x3F) << 6) | (data[at + 2] & 0x3F));
      at += 3;
    } else if (lead >= 0xF0 && lead < 0xF5 && continuation(1) && continuation(2) && continuation(3)) {
      uint32_t code = ((lead & 0x07u) << 18) | ((data[at + 1] & 0x3Fu) << 12) | ((data[at + 2] & 0x3Fu) << 6) |
                      (data[at + 3] & 0x3Fu);
      code &= 0xFFFFF;  // the twenty bits a surrogate pair carries
      out += static_cast<wchar_t>(0xD800 + (code >> 10));
      out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
      at += 4;
    } else {
      out += static_cast<wchar_t>(lead);
      at += 1;
    }
  }
  return out;
}

// The input cut at each line feed.
inline std::vector<std::string> Lines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += static_cast<char>(data[i]);
    }
  }
  return lines;
}

inline std::wstring LooseWide(const std::string& text) {
  return LooseWide(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace fuzz
