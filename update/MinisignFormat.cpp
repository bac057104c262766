#include "MinisignFormat.h"

#include <cstdio>
#include <vector>

namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr size_t kKeyBytes = 2 + 8 + 32;
constexpr size_t kSignatureBytes = 2 + 8 + 64;

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict base64 with padding: one spelling per byte string, so that no two texts pass for the
// same key or signature.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t group = 0; group < text.size(); group += 4) {
    const bool last = group + 4 == text.size();
    const size_t digits = last ? 4 - padding : 4;
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
      int digit = 0;
      if (i < digits) {
        digit = Base64Digit(text[group + i]);
        if (digit < 0) return std::nullopt;
      }
      bits = (bits << 6) | static_cast<uint32_t>(digit);
    }
    // Bits that no byte takes must be zero.
    if ((digits == 3 && (bits & 0xFF) != 0) || (digits == 2 && (bits & 0xFFFF) != 0)) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(bits >> 16));
    if (digits > 2) bytes.push_back(static_cast<uint8_t>(bits >> 8));
    if (digits > 3) bytes.push_back(static_cast<uint8_t>(bits));
  }
  return bytes;
}

template <size_t N>
void CopyBytes(const std::vector<uint8_t>& from, size_t offset, std::array<uint8_t, N>& to) {
  for (size_t i = 0; i < N; ++i) to[i] = from[offset + i];
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Splits off the next line, without its LF or CR LF.
std::string_view NextLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The value of the next field of a tab-separated trusted comment that begins with `prefix`, with
// `rest` left after it; nothing when no field left does.
std::optional<std::string_view> NextField(std::string_view& rest, std::string_view prefix) {
  while (!rest.empty()) {
    const size_t end = rest.find('\t');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (StartsWith(field, prefix)) return field.substr(prefix.size());
  }
  return std::nullopt;
}

}  // namespace

std::optional<MinisignKey> ParseMinisignKey(std::string_view line) {
  const auto bytes = DecodeBase64(line);
  if (!bytes || bytes->size() != kKeyBytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') return std::nullopt;
  MinisignKey key;
  CopyBytes(*bytes, 2, key.id);
  CopyBytes(*bytes, 10, key.publicKey);
  return key;
}

std::optional<MinisignSignature> ParseMinisignSignature(std::string_view file) {
  if (file.size() > kMaxSignatureFileSize || file.find('\0') != std::string_view::npos) return std::nullopt;
  std::string_view rest = file;
  const std::string_view untrusted = NextLine(rest);
  const std::string_view signatureLine = NextLine(rest);
  const std::string_view trusted = NextLine(rest);
  const std::string_view globalLine = NextLine(rest);
  // Nothing may follow but the last line's end.
  if (!rest.empty() || !StartsWith(untrusted, kUntrustedPrefix) || !StartsWith(trusted, kTrustedPrefix)) {
    return std::nullopt;
  }
  const auto signatureBytes = DecodeBase64(signatureLine);
  const auto globalBytes = DecodeBase64(globalLine);
  if (!signatureBytes || signatureBytes->size() != kSignatureBytes || !globalBytes ||
      globalBytes->size() != Ed25519Signature().size()) {
    return std::nullopt;
  }
  MinisignSignature signature;
  const uint8_t first = (*signatureBytes)[0];
  const uint8_t second = (*signatureBytes)[1];
  if (first != 'E' || (second != 'd' && second != 'D')) return std::nullopt;
  signature.signedData = second == 'D' ? SignedData::Blake2b512OfFile : SignedData::File;
  CopyBytes(*signatureBytes, 2, signature.keyId);
  CopyBytes(*signatureBytes, 10, signature.signature);
  signature.trustedComment = std::string(trusted.substr(kTrustedPrefix.size()));
  CopyBytes(*globalBytes, 0, signature.globalSignature);
  return signature;
}

std::optional<uint64_t> TrustedTimestamp(std::string_view trustedComment) {
  const std::optional<std::string_view> digits = NextField(trustedComment, "timestamp:");
  if (!digits || digits->empty()) return std::nullopt;
  uint64_t seconds = 0;
  for (char c : *digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (seconds > (UINT64_MAX - digit) / 10) return std::nullopt;
    seconds = seconds * 10 + digit;
  }
  return seconds;
}

std::optional<std::string_view> TrustedVersion(std::string_view trustedComment) {
  return NextField(trustedComment, "version:");
}

std::optional<std::string_view> ForeignProduct(std::string_view trustedComment, std::string_view product) {
  std::string_view rest = trustedComment;
  while (const std::optional<std::string_view> name = NextField(rest, "product:")) {
    if (name->empty() || *name != product) return name;
  }
  return std::nullopt;
}

std::string KeyIdText(const KeyId& id) {
  uint64_t number = 0;
  for (size_t i = id.size(); i-- > 0;) number = (number << 8) | id[i];
  char shown[17];
  std::snprintf(shown, sizeof shown, "%016llX", static_cast<unsigned long long>(number));
  return shown;
}
