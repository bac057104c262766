// minisign's formats from untrusted bytes: the signature file that comes with a download, the key
// line of a configuration, the trusted comment's timestamp. Whatever parses must say what its text
// says, and no input but the one real signature verifies for the file and key it was made with.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "MinisignFormat.h"
#include "SignatureCheck.h"

namespace {

// minisign's signature of the 5 bytes "hello" with this key, and its trusted comment.
constexpr std::string_view kKey = "RWQER2uUw9fE2cYZXKRaxHFcPsYTyZD/GBohXdMa2FexosITdA4ILjNl";
constexpr std::string_view kSignedFile = "hello";
constexpr std::string_view kSignedComment = "timestamp:1700000000\tfile:a";

void CheckSignatureFile(std::string_view text) {
  const auto signature = ParseMinisignSignature(text);
  if (!signature) return;
  FUZZ_CHECK(text.size() <= kMaxSignatureFileSize);
  FUZZ_CHECK(signature->trustedComment.find('\n') == std::string::npos);
  FUZZ_CHECK(text.find("\ntrusted comment: " + signature->trustedComment) != std::string_view::npos);

  static const MinisignKey key = *ParseMinisignKey(kKey);
  const FileReader read = [](uint64_t offset, void* buffer, size_t size) {
    if (offset >= kSignedFile.size()) return size_t{0};
    const size_t take = std::min(size, kSignedFile.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, kSignedFile.data() + offset, take);
    return take;
  };
  if (CheckMinisignSignature(key, *signature, kSignedFile.size(), read) == SignatureVerdict::Verified) {
    FUZZ_CHECK(signature->trustedComment == kSignedComment);
  }
}

void CheckTimestamp(std::string_view comment) {
  const auto seconds = TrustedTimestamp(comment);
  if (!seconds) return;
  // The field it came from is there, at the start or after a tab, and ends in the digits it read.
  const size_t field = comment.find("timestamp:");
  FUZZ_CHECK(field != std::string_view::npos);
  const std::string digits = std::to_string(*seconds);
  FUZZ_CHECK(comment.find(digits, field) != std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckSignatureFile(text);
  if (const auto key = ParseMinisignKey(text)) FUZZ_CHECK(KeyIdText(key->id).size() == 16);
  CheckTimestamp(text);
  return 0;
}
