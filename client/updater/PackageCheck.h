#pragma once
// What the updater trusts before anything reaches temp: a minisign signature by the product's key,
// bound to the product, with a trusted timestamp; and the package's SHA-256 as the feed gives it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "MinisignFormat.h"
#include "SignatureCheck.h"

namespace portico::client::updater {

// Why `signatureText` does not sign the file read by `read`, or nothing when it does; the trusted
// timestamp of a signature that holds.
std::optional<std::string> SignatureRefusal(const MinisignKey& key, std::string_view signatureText,
                                            std::uint64_t fileSize, const FileReader& read, const std::string& product,
                                            std::uint64_t& timestamp);

enum class PackageVerdict { good, hashMismatch, signatureRefused, unreadable };

struct PackageJudgement {
  PackageVerdict verdict = PackageVerdict::unreadable;
  std::string detail;
};

// The downloaded file at `path`, held open without writers while it is judged.
PackageJudgement JudgePackageFile(const std::wstring& path, std::string_view sha256, const MinisignKey& key,
                                  std::string_view signatureText, const std::string& product);

}  // namespace portico::client::updater
