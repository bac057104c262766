#pragma once
// minisign's public key and signature file, read exactly and nothing more: the bytes that the
// signature check needs, or nothing when the text is not in that form.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using KeyId = std::array<uint8_t, 8>;
using Ed25519Signature = std::array<uint8_t, 64>;

struct MinisignKey {
  KeyId id{};
  std::array<uint8_t, 32> publicKey{};
};

enum class SignedData {
  File,             // "Ed": the file itself (minisign's legacy form)
  Blake2b512OfFile  // "ED": BLAKE2b-512 of the file (minisign's default)
};

struct MinisignSignature {
  SignedData signedData = SignedData::Blake2b512OfFile;
  KeyId keyId{};
  Ed25519Signature signature{};
  std::string trustedComment;          // without its "trusted comment: " and the line end
  Ed25519Signature globalSignature{};  // over `signature` followed by `trustedComment`
};

// A signature file larger than this is no minisign signature: a comment line has at most 1 KiB.
constexpr size_t kMaxSignatureFileSize = 8 * 1024;

// The base64 line of a minisign.pub file ("Ed", the key id, the key: 42 bytes).
std::optional<MinisignKey> ParseMinisignKey(std::string_view line);

// The four lines of a .minisig file: untrusted comment, signature, trusted comment, global signature.
// Line ends may be LF or CR LF; the last may be missing.
std::optional<MinisignSignature> ParseMinisignSignature(std::string_view file);

// The seconds of the first "timestamp:<decimal>" field of a trusted comment (fields are separated by
// tabs, as minisign writes them); nothing when there is none or it overflows.
std::optional<uint64_t> TrustedTimestamp(std::string_view trustedComment);

// The value of the first "version:<text>" field of a trusted comment; nothing when there is none.
std::optional<std::string_view> TrustedVersion(std::string_view trustedComment);

// The first product field ("product:<name>") of a trusted comment that names anything but `product`,
// byte for byte; nothing when every such field names it, or there is none. An empty name is no
// product, so that a comment bound to nothing never matches an installation that names none.
std::optional<std::string_view> ForeignProduct(std::string_view trustedComment, std::string_view product);

// The key id as minisign shows it: 16 hexadecimal digits of the little-endian number.
std::string KeyIdText(const KeyId& id);
