#pragma once
// Whether a minisign signature holds for a file, with libsodium's Ed25519 and BLAKE2b. The file is
// read through the caller's function, so that what is checked is what the caller holds open.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "MinisignFormat.h"

enum class SignatureVerdict {
  Verified,
  OtherKey,                 // the signature names another key id
  FileSignatureInvalid,     // the file is not what was signed
  CommentSignatureInvalid,  // the trusted comment is not what was signed
  FileUnreadable,           // reading failed, or a legacy signature over a file too large to hold
  CryptoUnavailable         // libsodium could not start
};

// Reads `size` bytes at `offset` into the buffer; answers the bytes read.
using FileReader = std::function<size_t(uint64_t offset, void* buffer, size_t size)>;

// The legacy form signs the file itself, which Ed25519 must then hold whole in memory.
constexpr uint64_t kMaxLegacySignedFile = 256u << 20;

SignatureVerdict CheckMinisignSignature(const MinisignKey& key, const MinisignSignature& signature, uint64_t fileSize,
                                        const FileReader& read);
