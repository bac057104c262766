#pragma once
// Signing for updates and feeds through minisign: the secret key stays in minisign's own file and its
// password goes through minisign's own prompt. What minisign wrote is read back with the launcher's
// parser, so that a signature the launcher would not take is never left looking finished.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

// "timestamp:<seconds>\tproduct:<product>", then "\tversion:<version>" when a version is given.
std::string UpdateTrustedComment(std::uint64_t timestamp, const std::string& product, const std::string& version);

// The signing time: `given` when set, else SOURCE_DATE_EPOCH when set, else now. Each must be decimal
// seconds that fit 63 bits; nothing, with `error` saying which, when one is not.
std::optional<std::int64_t> SigningTime(const std::optional<std::string>& given, std::string& error);

struct SignRequest {
  std::string minisign = "minisign";
  std::filesystem::path secretKey;
  std::filesystem::path file;       // what is signed
  std::filesystem::path signature;  // where minisign writes the signature
  std::string publicKey;            // when given, the signature must verify with it: the base64 line, or a minisign.pub
  std::string product;
  std::uint64_t timestamp = 0;
  std::string trustedComment;
};

// Runs minisign and checks its signature before it takes the signature's name; false with the reason
// written to `err`, and any signature that was there before left as it was.
bool SignWithMinisign(const SignRequest& request, std::ostream& err);
