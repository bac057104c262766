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
};

// A key compiled into the launcher wins over the configured one and cannot be switched off by any
// file. With neither, updates are installed unsigned.
UpdateTrust DecideUpdateTrust(std::string_view compiledKey, const std::wstring& configuredKey);

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
  OlderThanInstalled
};

struct UpdateVerdict {
  bool checked = false;  // a signature was required, and the check ran
  UpdateRefusal refusal = UpdateRefusal::None;
  bool undecided = false;  // the signature could not be read or checked now: try again next start
  uint64_t timestamp = 0;  // the trusted timestamp of an accepted update
  uint64_t installedTimestamp = 0;
  std::string signatureKeyId;  // as minisign shows it, once the signature file could be read
};

// One line for the log: "update refused: <why>", or empty when nothing was refused.
std::string RefusalRecord(const UpdateVerdict& verdict);
