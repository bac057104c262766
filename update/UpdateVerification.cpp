#include "UpdateVerification.h"

#include <windows.h>

#include "SignatureCheck.h"
#include "UpdateStamp.h"

namespace {

enum class SignatureFile { Read, Missing, Unreadable, TooLarge };

SignatureFile ReadSignatureFile(const std::wstring& path, std::string& text) {
  portico::FileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SignatureFile::Missing
                                                                          : SignatureFile::Unreadable;
  }
  // One byte more than a signature may have tells a file that is too large.
  text.assign(kMaxSignatureFileSize + 1, '\0');
  DWORD total = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data() + total, static_cast<DWORD>(text.size()) - total, &read, nullptr)) {
      return SignatureFile::Unreadable;
    }
    if (read == 0) break;
    total += read;
    if (total == text.size()) return SignatureFile::TooLarge;
  }
  text.resize(total);
  return SignatureFile::Read;
}

}  // namespace

UpdateVerdict VerifyUpdate(const UpdateTrust& trust, ArchiveSource& archive, const std::wstring& root) {
  UpdateVerdict verdict;
  verdict.checked = true;
  if (!trust.key) {
    verdict.refusal = UpdateRefusal::KeyMalformed;
    return verdict;
  }
  std::string text;
  switch (ReadSignatureFile(root + L"update.zip.minisig", text)) {
    case SignatureFile::Read:
      break;
    case SignatureFile::Missing:
      verdict.refusal = UpdateRefusal::NoSignature;
      return verdict;
    case SignatureFile::Unreadable:
      verdict.undecided = true;
      return verdict;
    case SignatureFile::TooLarge:
      verdict.refusal = UpdateRefusal::SignatureMalformed;
      return verdict;
  }
  const std::optional<MinisignSignature> signature = ParseMinisignSignature(text);
  if (!signature) {
    verdict.refusal = UpdateRefusal::SignatureMalformed;
    return verdict;
  }
  verdict.signatureKeyId = KeyIdText(signature->keyId);
  const FileReader read = [&archive](uint64_t offset, void* buffer, size_t size) {
    return archive.ReadAt(offset, buffer, size);
  };
  switch (CheckMinisignSignature(*trust.key, *signature, archive.size(), read)) {
    case SignatureVerdict::Verified:
      break;
    case SignatureVerdict::OtherKey:
      verdict.refusal = UpdateRefusal::OtherKey;
      return verdict;
    case SignatureVerdict::FileSignatureInvalid:
      verdict.refusal = UpdateRefusal::ArchiveNotSigned;
      return verdict;
    case SignatureVerdict::CommentSignatureInvalid:
      verdict.refusal = UpdateRefusal::CommentNotSigned;
      return verdict;
    case SignatureVerdict::FileUnreadable:
      // A read that failed says nothing of the archive; a legacy signature over more than can be
      // held will never be checked.
      if (archive.readFailed()) {
        verdict.undecided = true;
      } else {
        verdict.refusal = UpdateRefusal::LegacyTooLarge;
      }
      return verdict;
    case SignatureVerdict::CryptoUnavailable:
      verdict.undecided = true;
      return verdict;
  }
  const std::optional<uint64_t> timestamp = TrustedTimestamp(signature->trustedComment);
  if (!timestamp) {
    verdict.refusal = UpdateRefusal::NoTimestamp;
    return verdict;
  }
  verdict.timestamp = *timestamp;
  if (const std::optional<std::string_view> version = TrustedVersion(signature->trustedComment)) {
    verdict.signedVersion = std::string(*version);
  }
  if (const std::optional<std::string_view> other = ForeignProduct(signature->trustedComment, trust.product)) {
    verdict.refusal = UpdateRefusal::OtherProduct;
    verdict.signedProduct = std::string(*other);
    return verdict;
  }
  const std::optional<uint64_t> installed = ReadUpdateStamp(root);
  if (!installed) {
    verdict.undecided = true;
    return verdict;
  }
  verdict.installedTimestamp = *installed;
  if (verdict.timestamp < verdict.installedTimestamp) {
    verdict.refusal = UpdateRefusal::OlderThanInstalled;
    return verdict;
  }
  if (verdict.timestamp < trust.floor) {
    verdict.refusal = UpdateRefusal::OlderThanFloor;
    verdict.floor = trust.floor;
    return verdict;
  }
  // The stamp goes first: once any file of this update is written, no older one may follow it.
  if (verdict.timestamp > verdict.installedTimestamp && !WriteUpdateStamp(root, verdict.timestamp)) {
    verdict.undecided = true;
  }
  return verdict;
}
