#pragma once
// The one line a signed update's pass leaves in temp for the client's updater: installed, or refused
// and why, so that it neither waits for an update that will never come nor fetches a refused one again.

#include <cstdint>
#include <optional>
#include <string>

#include "SignatureCheck.h"
#include "UpdateTrust.h"

constexpr wchar_t kUpdateOutcomeName[] = L"~pt-update.outcome";

struct UpdateOutcome {
  bool installed = false;
  uint64_t timestamp = 0;  // the signature's trusted timestamp; 0 when the signature did not hold
  std::string version;     // installed: the trusted comment's version field
  std::string reason;      // refused: one word
  std::string sha256;      // refused: the archive's, in lowercase hexadecimal
};

// How a pass whose signature held ended.
enum class PassEnd {
  Installed,
  NotAnArchive,  // signed, but no zip archive: it will never apply
  Waits          // kept for a later start (in use, no room, a failed entry, a hand-over)
};

// Nothing when no signature was required, or the archive waits for a later start.
std::optional<UpdateOutcome> JudgedOutcome(const UpdateVerdict& verdict, PassEnd end, const std::string& sha256);

// "signature", "older", "floor", "product", "unsigned" or "malformed"; empty for no refusal.
const char* RefusalWord(UpdateRefusal refusal);

// The record's line, LF-terminated. A version that is not 1 to 64 letters, digits, '.', '-', '+' or '_'
// is left out, so that no signed text can break the line.
std::string OutcomeLine(const UpdateOutcome& outcome);

// SHA-256 of `size` bytes read through `read`; empty when they cannot all be read.
std::string Sha256Hex(uint64_t size, const FileReader& read);
