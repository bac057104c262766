#include "SignCommand.h"

#include <filesystem>
#include <optional>

#include "FeedFormat.h"
#include "PackMain.h"
#include "UpdateSigning.h"

namespace fs = std::filesystem;

namespace {

struct SignOptions {
  std::string file, secretKey, product, version, publicKey, minisign = "minisign";
  std::optional<std::string> timestamp;
  std::string error;
};

SignOptions ParseOptions(const std::vector<std::string>& args) {
  SignOptions options;
  for (size_t i = 0; i < args.size() && options.error.empty(); ++i) {
    const std::string& arg = args[i];
    const bool valued = i + 1 < args.size();
    if (arg == "--secret-key" && valued) {
      options.secretKey = args[++i];
    } else if (arg == "--product" && valued) {
      options.product = args[++i];
    } else if (arg == "--version" && valued) {
      options.version = args[++i];
    } else if (arg == "--timestamp" && valued) {
      options.timestamp = args[++i];
    } else if (arg == "--public-key" && valued) {
      options.publicKey = args[++i];
    } else if (arg == "--minisign" && valued) {
      options.minisign = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && options.file.empty()) {
      options.file = arg;
    } else {
      options.error = "sign: unexpected '" + arg + "'";
    }
  }
  if (options.error.empty() && (options.file.empty() || options.secretKey.empty() || options.product.empty())) {
    options.error = "sign: UPDATE.zip, --secret-key and --product are needed";
  } else if (options.error.empty() && !IsValidProductName(options.product)) {
    options.error = "sign: --product '" + options.product + "' is no Protocol (printable ASCII without blanks)";
  } else if (options.error.empty() && !options.version.empty() && !IsValidVersion(options.version)) {
    options.error = "sign: --version '" + options.version + "' is not 1 to 4 dotted numbers";
  }
  return options;
}

}  // namespace

int RunSign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const SignOptions options = ParseOptions(args);
  if (!options.error.empty()) {
    err << "portico-pack: " << options.error << "\n" << kSignUsage;
    return kPackUsage;
  }
  std::string error;
  const auto timestamp = SigningTime(options.timestamp, error);
  if (!timestamp) {
    err << "portico-pack: sign: " << error << "\n";
    return kPackUsage;
  }
  SignRequest request;
  request.minisign = options.minisign;
  request.secretKey = fs::u8path(options.secretKey);
  request.file = fs::u8path(options.file);
  request.signature = fs::u8path(options.file + ".minisig");
  request.publicKey = options.publicKey;
  request.product = options.product;
  request.timestamp = static_cast<std::uint64_t>(*timestamp);
  request.trustedComment = UpdateTrustedComment(request.timestamp, options.product, options.version);
  std::error_code failed;
  if (!fs::is_regular_file(request.file, failed)) {
    err << "portico-pack: sign: no file " << options.file << "\n";
    return kPackRefused;
  }
  if (!SignWithMinisign(request, err)) return kPackRefused;
  out << "signed " << options.file << " -> " << request.signature.u8string() << " (trusted comment \""
      << request.trustedComment << "\")\n";
  return kPackClean;
}
