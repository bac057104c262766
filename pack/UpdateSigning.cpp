#include "UpdateSigning.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <vector>

#include "MinisignFormat.h"
#include "ProgramRun.h"
#include "SignatureCheck.h"

namespace fs = std::filesystem;

namespace {

std::optional<std::int64_t> Seconds(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t seconds = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (seconds > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
  return static_cast<std::int64_t>(seconds);
}

// At most `limit` bytes; nothing when the file cannot be read or is larger.
std::optional<std::string> ReadSmallFile(const fs::path& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  bytes.resize(limit + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad() || static_cast<size_t>(in.gcount()) > limit) return std::nullopt;
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// The key itself (the base64 line), or the last line of a minisign.pub that is not empty.
std::optional<MinisignKey> ReadPublicKey(const std::string& keyOrFile) {
  if (const auto key = ParseMinisignKey(keyOrFile)) return key;
  const auto text = ReadSmallFile(fs::u8path(keyOrFile), 4096);
  if (!text) return std::nullopt;
  std::string line;
  size_t start = 0;
  while (start < text->size()) {
    size_t end = text->find('\n', start);
    if (end == std::string::npos) end = text->size();
    std::string candidate = text->substr(start, end - start);
    if (!candidate.empty() && candidate.back() == '\r') candidate.pop_back();
    if (!candidate.empty()) line = candidate;
    start = end + 1;
  }
  return ParseMinisignKey(line);
}

// Why the written signature is not what the launcher would take; empty when it is.
std::string SignatureFault(const SignRequest& request, const fs::path& written) {
  const auto text = ReadSmallFile(written, kMaxSignatureFileSize);
  if (!text) return "minisign wrote no readable signature";
  const auto signature = ParseMinisignSignature(*text);
  if (!signature) return "the signature is not in minisign's form";
  if (signature->trustedComment != request.trustedComment) {
    return "the signature's trusted comment is '" + signature->trustedComment + "', not the one asked for";
  }
  if (TrustedTimestamp(signature->trustedComment) != request.timestamp) return "the launcher reads another timestamp";
  if (ForeignProduct(signature->trustedComment, request.product)) return "the launcher reads another product";
  if (request.publicKey.empty()) return "";
  const auto key = ReadPublicKey(request.publicKey);
  if (!key) return "no minisign public key in " + request.publicKey;
  std::ifstream file(request.file, std::ios::binary);
  std::error_code failed;
  const auto size = fs::file_size(request.file, failed);
  if (!file || failed) return "cannot read " + request.file.u8string() + " again";
  const FileReader read = [&file](std::uint64_t offset, void* buffer, size_t count) -> size_t {
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<size_t>(file.gcount());
  };
  switch (CheckMinisignSignature(*key, *signature, size, read)) {
    case SignatureVerdict::Verified:
      return "";
    case SignatureVerdict::OtherKey:
      return "signed with key " + KeyIdText(signature->keyId) + ", not the public key's " + KeyIdText(key->id);
    default:
      return "the signature does not verify with the public key";
  }
}

}  // namespace

std::string UpdateTrustedComment(std::uint64_t timestamp, const std::string& product, const std::string& version) {
  std::string comment = "timestamp:" + std::to_string(timestamp) + "\tproduct:" + product;
  if (!version.empty()) comment += "\tversion:" + version;
  return comment;
}

std::optional<std::int64_t> SigningTime(const std::optional<std::string>& given, std::string& error) {
  if (given) {
    const auto seconds = Seconds(*given);
    if (!seconds) error = "--timestamp '" + *given + "' is not Unix seconds";
    return seconds;
  }
  if (const char* sourceDateEpoch = std::getenv("SOURCE_DATE_EPOCH")) {
    const auto seconds = Seconds(sourceDateEpoch);
    if (!seconds) error = std::string("SOURCE_DATE_EPOCH '") + sourceDateEpoch + "' is not Unix seconds";
    return seconds;
  }
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  if (now < 0) {
    error = "the clock is before 1970";
    return std::nullopt;
  }
  return now;
}

bool SignWithMinisign(const SignRequest& request, std::ostream& err) {
  // minisign writes beside the signature; a signature already there stays until the new one is sound.
  fs::path written = request.signature;
  written += ".part";
  std::error_code ignored;
  fs::remove(written, ignored);
  const ProgramResult run =
      RunProgram({request.minisign, "-S", "-s", request.secretKey.u8string(), "-m", request.file.u8string(), "-t",
                  request.trustedComment, "-x", written.u8string()});
  if (!run.started) {
    err << "portico-pack: cannot run '" << request.minisign
        << "': install minisign (Debian: apt-get install minisign) or name it with --minisign\n";
    return false;
  }
  std::string fault;
  if (run.exitCode != 0) {
    fault = "minisign failed (exit code " + std::to_string(run.exitCode) + ")";
  } else {
    fault = SignatureFault(request, written);
  }
  std::error_code failed;
  if (fault.empty()) {
    fs::rename(written, request.signature, failed);
    if (failed) fault = "cannot write it: " + failed.message();
  }
  if (!fault.empty()) {
    err << "portico-pack: " << request.signature.u8string() << ": " << fault << "\n";
    fs::remove(written, ignored);
    return false;
  }
  return true;
}
