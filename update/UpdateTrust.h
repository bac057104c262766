#pragma once
// Which key an update must be signed by, and the words for an update that was not.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "MinisignFormat.h"

struct UpdateTrust {
  bool signatureRequired = false;  // a key was given: no unsigned update is ever installed
  std::optional<MinisignKey> key;  // empty when the given key is malformed, so that nothing verifies
  bool compiledIn = false;
  // No update signed before this time installs, stamp or none: a fresh installation, or one whose
  // stamp was deleted, still refuses archives older than the launcher itself.
  uint64_t floor = 0;
  // The configured Protocol, when it is ASCII: a signature bound to a product installs only here.
  std::string product;
};

// A key compiled into the launcher wins over the configured one and cannot be switched off by any
// file. With neither, updates are installed unsigned.
UpdateTrust DecideUpdateTrust(std::string_view compiledKey, const std::wstring& configuredKey, uint64_t floor = 0,
                              const std::wstring& protocol = std::wstring());
// DecideUpdateTrust's signatureRequired alone, without parsing the key: what staging needs.
bool UpdateSignatureRequired(std::string_view compiledKey, const std::wstring& configuredKey);

enum class UpdateRefusal {
  None,
  KeyMalformed,
  NoSignature,
  SignatureMalformed,
  OtherKey,
  ArchiveNotSigned,  // the archive is not what was signed
  CommentNotSigned,  // the trusted comment is not what was signed
  LegacyTooLarge,    // a legacy signature over more than the check can hold
  NoTimestamp,
  OtherProduct,  // bound by its trusted comment to another product than this installation's Protocol
  OlderThanInstalled,
  OlderThanFloor
};

struct UpdateVerdict {
  bool checked = false;  // a signature was required, and the check ran
  UpdateRefusal refusal = UpdateRefusal::None;
  bool undecided = false;  // the signature could not be read or checked now: try again next start
  uint64_t timestamp = 0;  // the trusted timestamp of an accepted update
  uint64_t installedTimestamp = 0;
  uint64_t floor = 0;
  std::string signedProduct;   // the product the trusted comment names, when it is another
  std::string signatureKeyId;  // as minisign shows it, once the signature file could be read
  std::string signedVersion;   // the trusted comment's version field, once the signature held
};

// One line for the log: "update refused: <why>", or empty when nothing was refused.
std::string RefusalRecord(const UpdateVerdict& verdict);
