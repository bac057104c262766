#include "Utf8ToUtf16.h"

#include <cstring>

namespace {

constexpr std::size_t kWideRoom = 260;
constexpr unsigned kInvalid = ~0u;
constexpr wchar_t kReplacement = 0xFFFD;

// Bytes that follow a lead byte; 0 for a byte that leads nothing (a continuation, C0, C1, F5 to FF).
std::size_t FollowingBytes(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// One character from bytes[at], the byte after `lead`, or kInvalid. Follows MultiByteToWideChar as
// Wine implements it (and checks against Windows): the bytes that began to form a valid character
// are taken into its one U+FFFD, so that E0 80 is one replacement, not two; a sequence that would run
// past the end of the input takes all that is left.
unsigned DecodeAfterLead(unsigned char lead, const unsigned char* bytes, std::size_t size, std::size_t& at) {
  const std::size_t following = FollowingBytes(lead);
  if (following == 0) return kInvalid;
  if (at + following > size) {
    at = size;
    return kInvalid;
  }
  static const unsigned kLeadMask[] = {0, 0x1F, 0x0F, 0x07};
  unsigned code = lead & kLeadMask[following];
  for (std::size_t left = following; left > 0; --left) {
    const unsigned bits = bytes[at] ^ 0x80u;
    if (bits >= 0x40) return kInvalid;
    code = (code << 6) | bits;
    if (left == 2 && code >= (0x110000u >> 6)) return kInvalid;  // beyond U+10FFFF, this byte not taken
    ++at;
    if (left == 3 && code < 0x10) return kInvalid;  // a four-byte form of a smaller character
    if (left == 2 && (code < 0x20 || (code >= (0xD800u >> 6) && code <= (0xDFFFu >> 6)))) {
      return kInvalid;  // a three-byte form of a smaller character, or a surrogate
    }
    if (left == 1 && code < 0x80) return kInvalid;
  }
  return code;
}

// Every unit the converter writes for `size` bytes, replacements included.
std::wstring DecodeAll(const unsigned char* bytes, std::size_t size) {
  std::wstring units;
  for (std::size_t at = 0; at < size;) {
    const unsigned char lead = bytes[at++];
    const unsigned code = lead < 0x80 ? lead : DecodeAfterLead(lead, bytes, size, at);
    if (code == kInvalid) {
      units += kReplacement;
    } else if (code < 0x10000) {
      units += static_cast<wchar_t>(code);
    } else {
      units += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
      units += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  return units;
}

}  // namespace

std::wstring Utf8ToUtf16Units(const char* utf8) {
  // The launcher converts the text with its terminating zero and drops the last unit written, which
  // is the zero unless a sequence cut short at the end took it into its replacement.
  std::wstring units = DecodeAll(reinterpret_cast<const unsigned char*>(utf8), std::strlen(utf8) + 1);
  units.pop_back();
  return units;
}

bool Utf8ToUtf16(const char* utf8, std::wstring& out) {
  if (!utf8) return false;
  std::wstring units = Utf8ToUtf16Units(utf8);
  if (units.size() >= kWideRoom) {
    out.clear();
    return false;
  }
  out = std::move(units);
  return !out.empty();
}

std::size_t FirstInvalidUtf8(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t start = at;
    const unsigned char lead = data[at++];
    if (lead >= 0x80 && DecodeAfterLead(lead, data, bytes.size(), at) == kInvalid) return start;
  }
  return std::string_view::npos;
}
