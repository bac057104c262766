#include "UpdateOutcome.h"

#include <sodium.h>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kMaxVersion = 64;
constexpr size_t kChunk = 256 * 1024;

bool IsVersionCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
         c == '+' || c == '_';
}

std::string Shown(const std::string& version) {
  if (version.empty() || version.size() > kMaxVersion) return {};
  return std::all_of(version.begin(), version.end(), IsVersionCharacter) ? version : std::string();
}

}  // namespace

std::optional<UpdateOutcome> JudgedOutcome(const UpdateVerdict& verdict, PassEnd end, const std::string& sha256) {
  if (!verdict.checked || verdict.undecided) return std::nullopt;
  UpdateOutcome outcome;
  outcome.timestamp = verdict.timestamp;
  if (verdict.refusal != UpdateRefusal::None || end == PassEnd::NotAnArchive) {
    outcome.reason = verdict.refusal != UpdateRefusal::None ? RefusalWord(verdict.refusal) : "malformed";
    outcome.sha256 = sha256;
    return outcome;
  }
  if (end == PassEnd::Waits) return std::nullopt;
  outcome.installed = true;
  outcome.version = verdict.signedVersion;
  return outcome;
}

const char* RefusalWord(UpdateRefusal refusal) {
  switch (refusal) {
    case UpdateRefusal::None:
      return "";
    case UpdateRefusal::NoSignature:
      return "unsigned";
    case UpdateRefusal::KeyMalformed:  // no signature can hold against it
    case UpdateRefusal::OtherKey:
    case UpdateRefusal::ArchiveNotSigned:
    case UpdateRefusal::CommentNotSigned:
      return "signature";
    case UpdateRefusal::SignatureMalformed:
    case UpdateRefusal::LegacyTooLarge:
    case UpdateRefusal::NoTimestamp:
      return "malformed";
    case UpdateRefusal::OtherProduct:
      return "product";
    case UpdateRefusal::OlderThanInstalled:
      return "older";
    case UpdateRefusal::OlderThanFloor:
      return "floor";
  }
  return "malformed";
}

std::string OutcomeLine(const UpdateOutcome& outcome) {
  const std::string seconds = std::to_string(outcome.timestamp);
  if (outcome.installed) return "installed\t" + seconds + "\t" + Shown(outcome.version) + "\n";
  return "refused\t" + seconds + "\t" + outcome.reason + "\t" + outcome.sha256 + "\n";
}

std::string Sha256Hex(uint64_t size, const FileReader& read) {
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<unsigned char> chunk(kChunk);
  for (uint64_t offset = 0; offset < size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, size - offset));
    if (read(offset, chunk.data(), want) != want) return {};
    crypto_hash_sha256_update(&state, chunk.data(), want);
    offset += want;
  }
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  char hex[2 * sizeof digest + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}
