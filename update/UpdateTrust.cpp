#include "UpdateTrust.h"

namespace {

std::optional<std::string> AsciiOnly(const std::wstring& text) {
  std::string ascii;
  for (wchar_t c : text) {
    if (c <= 0 || c > 0x7E) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  return ascii;
}

// Text from a signed comment, shown as printable ASCII and cut to a length a record can carry.
std::string Shown(const std::string& text) {
  constexpr size_t kMaxShown = 64;
  std::string shown;
  for (char c : text.substr(0, kMaxShown)) shown.push_back(c >= 0x20 && c <= 0x7E ? c : '?');
  return text.size() > kMaxShown ? shown + "..." : shown;
}

std::string Reason(const UpdateVerdict& verdict) {
  switch (verdict.refusal) {
    case UpdateRefusal::None:
      break;
    case UpdateRefusal::KeyMalformed:
      return "the update key is not a minisign public key";
    case UpdateRefusal::NoSignature:
      return "no signature (update.zip.minisig)";
    case UpdateRefusal::SignatureMalformed:
      return "update.zip.minisig is not a minisign signature";
    case UpdateRefusal::OtherKey:
      return "signed by another key (" + verdict.signatureKeyId + ")";
    case UpdateRefusal::ArchiveNotSigned:
      return "the signature does not match update.zip";
    case UpdateRefusal::CommentNotSigned:
      return "the trusted comment does not match its signature";
    case UpdateRefusal::LegacyTooLarge:
      return "a legacy (Ed) signature over an archive larger than 256 MiB: sign it with minisign's default";
    case UpdateRefusal::NoTimestamp:
      return "the trusted comment has no timestamp";
    case UpdateRefusal::OtherProduct:
      return "signed for another product (product:" + Shown(verdict.signedProduct) + ")";
    case UpdateRefusal::OlderThanInstalled:
      return "older than the installed update (timestamp " + std::to_string(verdict.timestamp) + " < " +
             std::to_string(verdict.installedTimestamp) + ")";
    case UpdateRefusal::OlderThanFloor:
      return "older than the launcher's floor (timestamp " + std::to_string(verdict.timestamp) + " < " +
             std::to_string(verdict.floor) + ")";
  }
  return {};
}

}  // namespace

bool UpdateSignatureRequired(std::string_view compiledKey, const std::wstring& configuredKey) {
  return !compiledKey.empty() || !configuredKey.empty();
}

UpdateTrust DecideUpdateTrust(std::string_view compiledKey, const std::wstring& configuredKey, uint64_t floor,
                              const std::wstring& protocol) {
  UpdateTrust trust;
  trust.signatureRequired = UpdateSignatureRequired(compiledKey, configuredKey);
  trust.floor = floor;
  if (const auto ascii = AsciiOnly(protocol)) trust.product = *ascii;
  if (!compiledKey.empty()) {
    trust.compiledIn = true;
    trust.key = ParseMinisignKey(compiledKey);
  } else if (!configuredKey.empty()) {
    if (const auto ascii = AsciiOnly(configuredKey)) trust.key = ParseMinisignKey(*ascii);
  }
  return trust;
}

std::string RefusalRecord(const UpdateVerdict& verdict) {
  if (verdict.refusal == UpdateRefusal::None) return {};
  return "update refused: " + Reason(verdict);
}
