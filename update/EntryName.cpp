#include "EntryName.h"

#include <array>
#include <cstdint>

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendUtf16(std::wstring& out, uint32_t codePoint) {
  if (codePoint < 0x10000) {
    out += static_cast<wchar_t>(codePoint);
    return;
  }
  codePoint -= 0x10000;
  out += static_cast<wchar_t>(0xD800 + (codePoint >> 10));
  out += static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
}

// Decodes one sequence at `at`; returns the bytes it used, or 0 when it is malformed.
size_t DecodeOne(const unsigned char* bytes, size_t length, size_t at, uint32_t& codePoint) {
  const unsigned char lead = bytes[at];
  size_t extra = 0;
  uint32_t minimum = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    minimum = 0x80;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    minimum = 0x800;
    codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    minimum = 0x10000;
    codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (length - at <= extra) return 0;
  for (size_t i = 1; i <= extra; ++i) {
    if (!IsContinuation(bytes[at + i])) return 0;
    codePoint = (codePoint << 6) | (bytes[at + i] & 0x3F);
  }
  // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are no characters.
  if (codePoint < minimum || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) return 0;
  return extra + 1;
}

void AppendUtf8(uint32_t code, std::string& out) {
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

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool StartsWithDrive(const std::wstring& name) { return name.size() >= 2 && name[1] == L':'; }

bool StartsWithSeparator(const std::wstring& name) { return !name.empty() && (name[0] == L'\\' || name[0] == L'/'); }

}  // namespace

std::wstring DecodeEntryName(const char* bytes, size_t length) {
  std::wstring out;
  if (bytes == nullptr || length >= kEntryNameRoom) return out;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes);
  size_t at = 0;
  while (at < length) {
    uint32_t codePoint = 0;
    const size_t used = DecodeOne(data, length, at, codePoint);
    if (used == 0) {
      out += kReplacement;
      at += 1;
    } else {
      AppendUtf16(out, codePoint);
      at += used;
    }
  }
  return out;
}

bool IsWellFormedUtf8(const char* bytes, size_t length) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t at = 0; at < length;) {
    uint32_t codePoint = 0;
    const size_t used = DecodeOne(data, length, at, codePoint);
    if (used == 0) return false;
    at += used;
  }
  return true;
}

std::string EncodeUtf8(const std::wstring& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    // Masked: natively wchar_t is wider, but it holds UTF-16 units here as on Windows.
    uint32_t unit = static_cast<uint32_t>(units[i]) & 0xFFFF;
    if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(static_cast<uint32_t>(units[i + 1]) & 0xFFFF)) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + ((static_cast<uint32_t>(units[++i]) & 0xFFFF) - 0xDC00);
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      unit = 0xFFFD;
    }
    AppendUtf8(unit, out);
  }
  return out;
}

std::wstring CleanEntryName(std::wstring name) {
  // Checked in this order, each time from the first, so that the earliest pattern in the list wins
  // even when another one lies further to the front of the name.
  static const std::array<std::wstring, 4> kParentSteps = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
  for (;;) {
    if (StartsWithDrive(name)) {
      name.erase(0, 2);
      continue;
    }
    if (StartsWithSeparator(name)) {
      name.erase(0, 1);
      continue;
    }
    bool dropped = false;
    for (const std::wstring& step : kParentSteps) {
      const size_t at = name.find(step);
      if (at != std::wstring::npos) {
        name.erase(0, at + step.size());
        dropped = true;
        break;
      }
    }
    if (!dropped) return name;
  }
}
