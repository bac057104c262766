#include "SignatureCheck.h"

#include <sodium.h>

#include <algorithm>
#include <new>
#include <vector>

namespace {

constexpr size_t kChunk = 256 * 1024;

bool HashFile(uint64_t fileSize, const FileReader& read, unsigned char (&digest)[crypto_generichash_BYTES_MAX]) {
  crypto_generichash_state state;
  if (crypto_generichash_init(&state, nullptr, 0, sizeof digest) != 0) return false;
  std::vector<unsigned char> chunk(kChunk);
  for (uint64_t offset = 0; offset < fileSize;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, fileSize - offset));
    if (read(offset, chunk.data(), want) != want) return false;
    crypto_generichash_update(&state, chunk.data(), want);
    offset += want;
  }
  return crypto_generichash_final(&state, digest, sizeof digest) == 0;
}

bool ReadWhole(uint64_t fileSize, const FileReader& read, std::vector<unsigned char>& bytes) {
  if (fileSize > kMaxLegacySignedFile) return false;
  try {
    bytes.resize(static_cast<size_t>(fileSize));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return bytes.empty() || read(0, bytes.data(), bytes.size()) == bytes.size();
}

}  // namespace

SignatureVerdict CheckMinisignSignature(const MinisignKey& key, const MinisignSignature& signature, uint64_t fileSize,
                                        const FileReader& read) {
  if (sodium_init() < 0) return SignatureVerdict::CryptoUnavailable;
  if (signature.keyId != key.id) return SignatureVerdict::OtherKey;

  bool fileVerified = false;
  if (signature.signedData == SignedData::Blake2b512OfFile) {
    unsigned char digest[crypto_generichash_BYTES_MAX];
    if (!HashFile(fileSize, read, digest)) return SignatureVerdict::FileUnreadable;
    fileVerified =
        crypto_sign_verify_detached(signature.signature.data(), digest, sizeof digest, key.publicKey.data()) == 0;
  } else {
    std::vector<unsigned char> whole;
    if (!ReadWhole(fileSize, read, whole)) return SignatureVerdict::FileUnreadable;
    fileVerified =
        crypto_sign_verify_detached(signature.signature.data(), whole.data(), whole.size(), key.publicKey.data()) == 0;
  }
  if (!fileVerified) return SignatureVerdict::FileSignatureInvalid;

  std::vector<unsigned char> signedComment(signature.signature.begin(), signature.signature.end());
  signedComment.insert(signedComment.end(), signature.trustedComment.begin(), signature.trustedComment.end());
  if (crypto_sign_verify_detached(signature.globalSignature.data(), signedComment.data(), signedComment.size(),
                                  key.publicKey.data()) != 0) {
    return SignatureVerdict::CommentSignatureInvalid;
  }
  return SignatureVerdict::Verified;
}
