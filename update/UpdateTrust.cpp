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
    case UpdateRefusal::OlderThanInstalled:
      return "older than the installed update (timestamp " + std::to_string(verdict.timestamp) + " < " +
             std::to_string(verdict.installedTimestamp) + ")";
  }
  return {};
}

}  // namespace

UpdateTrust DecideUpdateTrust(std::string_view compiledKey, const std::wstring& configuredKey) {
  UpdateTrust trust;
  if (!compiledKey.empty()) {
    trust.signatureRequired = true;
    trust.compiledIn = true;
    trust.key = ParseMinisignKey(compiledKey);
  } else if (!configuredKey.empty()) {
    trust.signatureRequired = true;
    if (const auto ascii = AsciiOnly(configuredKey)) trust.key = ParseMinisignKey(*ascii);
  }
  return trust;
}

std::string RefusalRecord(const UpdateVerdict& verdict) {
  if (verdict.refusal == UpdateRefusal::None) return {};
  return "update refused: " + Reason(verdict);
}
