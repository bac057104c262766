#include "FeedCommand.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

#include "FeedFormat.h"
#include "FileDigest.h"
#include "PackMain.h"
#include "UpdateSigning.h"

namespace fs = std::filesystem;

namespace {

struct FeedOptions {
  std::string feed, product, version, channel, notes, full, secretKey, publicKey, minisign = "minisign";
  int rollout = 100;
  std::vector<std::pair<std::string, std::string>> deltas;  // from, package
  std::optional<std::string> timestamp;
  std::string error;
};

std::optional<int> Percent(const std::string& text) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int percent = std::stoi(text);
  if (percent > 100) return std::nullopt;
  return percent;
}

std::string OptionsError(const FeedOptions& options) {
  if (options.feed.empty() || options.product.empty() || options.version.empty() || options.channel.empty() ||
      options.full.empty()) {
    return "feed: FEED.json, --product, --version, --channel and --full are needed";
  }
  if (!IsValidProductName(options.product)) return "feed: --product '" + options.product + "' is no Protocol";
  if (!IsValidVersion(options.version)) return "feed: --version '" + options.version + "' is not 1 to 4 dotted numbers";
  if (!IsValidChannel(options.channel)) return "feed: --channel '" + options.channel + "' is not [a-z0-9-]{1,32}";
  for (const auto& delta : options.deltas) {
    if (!IsValidVersion(delta.first) || CompareVersions(delta.first, options.version) >= 0) {
      return "feed: --delta from '" + delta.first + "' is no version older than " + options.version;
    }
  }
  if (options.secretKey.empty() && !options.publicKey.empty())
    return "feed: --public-key checks a --secret-key's signature";
  return "";
}

FeedOptions ParseOptions(const std::vector<std::string>& args) {
  FeedOptions options;
  for (size_t i = 0; i < args.size() && options.error.empty(); ++i) {
    const std::string& arg = args[i];
    const bool valued = i + 1 < args.size();
    std::string* text = nullptr;
    if (arg == "--product") text = &options.product;
    if (arg == "--version") text = &options.version;
    if (arg == "--channel") text = &options.channel;
    if (arg == "--notes") text = &options.notes;
    if (arg == "--full") text = &options.full;
    if (arg == "--secret-key") text = &options.secretKey;
    if (arg == "--public-key") text = &options.publicKey;
    if (arg == "--minisign") text = &options.minisign;
    if (text && valued) {
      *text = args[++i];
    } else if (arg == "--timestamp" && valued) {
      options.timestamp = args[++i];
    } else if (arg == "--rollout" && valued) {
      const auto percent = Percent(args[++i]);
      if (!percent) options.error = "feed: --rollout '" + args[i] + "' is not a percentage from 0 to 100";
      options.rollout = percent.value_or(100);
    } else if (arg == "--delta" && valued) {
      const std::string& value = args[++i];
      const size_t equals = value.find('=');
      if (equals == std::string::npos) options.error = "feed: --delta takes FROM=PKG.zip, not '" + value + "'";
      options.deltas.emplace_back(value.substr(0, equals), equals == std::string::npos ? "" : value.substr(equals + 1));
    } else if (!text && !arg.empty() && arg[0] != '-' && options.feed.empty()) {
      options.feed = arg;
    } else {
      options.error = "feed: unexpected '" + arg + "'";
    }
  }
  if (options.error.empty()) options.error = OptionsError(options);
  return options;
}

// The package as the feed lists it: by file name, with its size and hash.
std::optional<FeedPackage> DescribePackage(const std::string& file, const std::string& from, std::ostream& err) {
  const fs::path path = fs::u8path(file);
  std::error_code failed;
  const auto digest = fs::is_regular_file(path, failed) ? DigestFile(path) : std::nullopt;
  if (!digest) {
    err << "portico-pack: feed: cannot read the package " << file << "\n";
    return std::nullopt;
  }
  FeedPackage package;
  package.url = path.filename().u8string();
  if (!IsValidPackageUrl(package.url)) {
    err << "portico-pack: feed: the file name '" << package.url
        << "' cannot stand in a URL as it is (printable ASCII, no blanks or ':' before a '/'): rename the package\n";
    return std::nullopt;
  }
  if (digest->size == 0) {
    err << "portico-pack: feed: the package " << file << " is empty\n";
    return std::nullopt;
  }
  package.size = digest->size;
  package.sha256 = digest->sha256;
  package.from = from;
  return package;
}

// The feed there is, an empty one when there is none, or nothing when what is there is no feed.
std::optional<Feed> ExistingFeed(const fs::path& path, const std::string& product, std::ostream& err) {
  std::error_code failed;
  if (!fs::exists(path, failed)) {
    Feed feed;
    feed.product = product;
    return feed;
  }
  std::ifstream in(path, std::ios::binary);
  std::string text(kMaxFeedSize + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  std::string error;
  auto feed = in.bad() ? std::nullopt : ReadFeed(text, &error);
  if (!feed) {
    err << "portico-pack: feed: " << path.u8string() << " is no valid feed (" << (in.bad() ? "unreadable" : error)
        << "); it is left as it is\n";
    return std::nullopt;
  }
  if (feed->product != product) {
    err << "portico-pack: feed: " << path.u8string() << " is the feed of product '" << feed->product << "', not '"
        << product << "'\n";
    return std::nullopt;
  }
  return feed;
}

// The feed names each package by its file name alone, so a package elsewhere would not be found.
bool BesideFeed(const fs::path& feed, const std::string& package) {
  std::error_code failed;
  const fs::path feedFolder = fs::weakly_canonical(fs::absolute(feed, failed).parent_path(), failed);
  const fs::path packageFolder = fs::weakly_canonical(fs::absolute(fs::u8path(package), failed).parent_path(), failed);
  return !failed && feedFolder == packageFolder;
}

bool WriteWhole(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}

}  // namespace

int RunFeed(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const FeedOptions options = ParseOptions(args);
  if (!options.error.empty()) {
    err << "portico-pack: " << options.error << "\n" << kFeedUsage;
    return kPackUsage;
  }
  std::string error;
  const auto timestamp = SigningTime(options.timestamp, error);
  if (!timestamp) {
    err << "portico-pack: feed: " << error << "\n";
    return kPackUsage;
  }
  const fs::path feedPath = fs::u8path(options.feed);
  auto feed = ExistingFeed(feedPath, options.product, err);
  if (!feed) return kPackRefused;

  FeedRelease release;
  release.version = options.version;
  release.channel = options.channel;
  release.rollout = options.rollout;
  release.notes = options.notes;
  const auto full = DescribePackage(options.full, "", err);
  if (!full) return kPackRefused;
  release.full = *full;
  for (const auto& delta : options.deltas) {
    const auto package = DescribePackage(delta.second, delta.first, err);
    if (!package) return kPackRefused;
    release.deltas.push_back(*package);
  }

  auto& releases = feed->releases;
  const auto same = std::find_if(releases.begin(), releases.end(), [&release](const FeedRelease& other) {
    return other.channel == release.channel && CompareVersions(other.version, release.version) == 0;
  });
  const bool replaced = same != releases.end();
  if (replaced) releases.erase(same);
  releases.push_back(release);
  std::stable_sort(releases.begin(), releases.end(), [](const FeedRelease& a, const FeedRelease& b) {
    return CompareVersions(a.version, b.version) > 0;
  });
  // A client that remembers the last feed it saw refuses one that is not later.
  const bool bumped = *timestamp <= feed->published && feed->published < std::numeric_limits<std::int64_t>::max();
  feed->published = bumped ? feed->published + 1 : *timestamp;

  const std::string text = WriteFeed(*feed);
  if (!ReadFeed(text, &error)) {
    err << "portico-pack: feed: the feed would not be valid: " << error << "\n";
    return kPackRefused;
  }
  fs::path part = feedPath;
  part += ".part";
  if (!WriteWhole(part, text)) {
    err << "portico-pack: feed: cannot write " << part.u8string() << "\n";
    return kPackRefused;
  }
  fs::path signature = feedPath;
  signature += ".minisig";
  std::error_code failed;
  if (!options.secretKey.empty()) {
    SignRequest request;
    request.minisign = options.minisign;
    request.secretKey = fs::u8path(options.secretKey);
    request.file = part;
    request.signature = signature;
    request.publicKey = options.publicKey;
    request.product = options.product;
    request.timestamp = static_cast<std::uint64_t>(feed->published);
    request.trustedComment = UpdateTrustedComment(request.timestamp, options.product, "");
    if (!SignWithMinisign(request, err)) {
      fs::remove(part, failed);
      return kPackRefused;
    }
  }
  fs::rename(part, feedPath, failed);
  if (failed) {
    err << "portico-pack: feed: cannot replace " << options.feed << ": " << failed.message() << "\n";
    fs::remove(part, failed);
    return kPackRefused;
  }
  out << "feed " << options.feed << ": release " << release.version << " (" << release.channel << ", rollout "
      << release.rollout << "%) " << (replaced ? "replaced" : "added") << ", published " << feed->published
      << (bumped ? " (one second after the feed's last)" : "") << "\n";
  std::vector<std::string> warnings;
  if (!options.secretKey.empty()) {
    out << "signed " << options.feed << " -> " << signature.u8string() << "\n";
  } else if (fs::exists(signature, failed)) {
    warnings.push_back(signature.u8string() +
                       " is the signature of the feed before; sign the new feed (--secret-key) before uploading");
  }
  std::vector<std::string> packages = {options.full};
  for (const auto& delta : options.deltas) packages.push_back(delta.second);
  for (const std::string& package : packages) {
    if (!BesideFeed(feedPath, package)) {
      warnings.push_back(package +
                         " is not in the feed's folder; the feed names it by file name, so upload it beside the feed");
    }
  }
  for (const std::string& warning : warnings) err << "portico-pack: feed: warning: " << warning << "\n";
  return warnings.empty() ? kPackClean : kPackWarnings;
}
