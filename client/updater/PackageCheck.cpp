#include "PackageCheck.h"

#include <windows.h>

#include <sodium.h>

#include "UpdaterText.h"
#include "WinHandles.h"

namespace portico::client::updater {

std::optional<std::string> SignatureRefusal(const MinisignKey& key, std::string_view signatureText,
                                            std::uint64_t fileSize, const FileReader& read, const std::string& product,
                                            std::uint64_t& timestamp) {
  const std::optional<MinisignSignature> signature = ParseMinisignSignature(signatureText);
  if (!signature) return std::string("the signature is not a minisign signature");
  switch (CheckMinisignSignature(key, *signature, fileSize, read)) {
    case SignatureVerdict::Verified:
      break;
    case SignatureVerdict::OtherKey:
      return "the signature is by another key (" + KeyIdText(signature->keyId) + ")";
    case SignatureVerdict::FileSignatureInvalid:
      return std::string("the file is not what was signed");
    case SignatureVerdict::CommentSignatureInvalid:
      return std::string("the trusted comment is not what was signed");
    case SignatureVerdict::FileUnreadable:
      return std::string("the signed file could not be read");
    case SignatureVerdict::CryptoUnavailable:
      return std::string("libsodium could not start");
  }
  const std::optional<uint64_t> signedTime = TrustedTimestamp(signature->trustedComment);
  if (!signedTime) return std::string("the trusted comment has no timestamp");
  if (const std::optional<std::string_view> other = ForeignProduct(signature->trustedComment, product)) {
    return "the signature is for the product '" + std::string(*other) + "'";
  }
  timestamp = *signedTime;
  return std::nullopt;
}

PackageJudgement JudgePackageFile(const std::wstring& path, std::string_view sha256, const MinisignKey& key,
                                  std::string_view signatureText, const std::string& product) {
  portico::FileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) {
    return {PackageVerdict::unreadable, "cannot read the download: error " + std::to_string(GetLastError())};
  }
  bool readFailed = false;
  const FileReader read = [&](uint64_t offset, void* buffer, size_t bytes) -> size_t {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, static_cast<DWORD>(bytes), &got, &at)) {
      readFailed = true;
      return 0;
    }
    return got;
  };

  if (sodium_init() < 0) return {PackageVerdict::unreadable, "libsodium could not start"};
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::string piece(64 * 1024, '\0');
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  for (uint64_t done = 0; done < total;) {
    const size_t got = read(done, piece.data(), piece.size());
    if (got == 0) return {PackageVerdict::unreadable, "cannot read the download"};
    crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(piece.data()), got);
    done += got;
  }
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  const std::string actual = LowerHex(digest, sizeof(digest));
  if (actual != sha256) {
    return {PackageVerdict::hashMismatch,
            "the download's SHA-256 is " + actual + ", the feed says " + std::string(sha256)};
  }
  std::uint64_t timestamp = 0;
  if (std::optional<std::string> refusal = SignatureRefusal(key, signatureText, total, read, product, timestamp)) {
    if (readFailed) return {PackageVerdict::unreadable, "cannot read the download"};
    return {PackageVerdict::signatureRefused, "package refused: " + *refusal};
  }
  return {PackageVerdict::good, std::string()};
}

}  // namespace portico::client::updater
