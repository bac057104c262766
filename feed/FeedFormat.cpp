#include "FeedFormat.h"

#include <limits>

#include "StrictJson.h"

namespace {

bool IsPrintableAscii(std::string_view text) {
  for (const char c : text) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

constexpr size_t kMaxUrl = 2048;

bool IsValidNotes(std::string_view notes) {
  if (notes.empty()) return true;
  return notes.size() <= kMaxUrl && IsPrintableAscii(notes) &&
         (StartsWith(notes, "https://") || StartsWith(notes, "http://"));
}

// Reads one feed, remembering the path of the value it is looking at for the error.
class FeedReader {
 public:
  explicit FeedReader(std::string* error) : error_(error) {}

  std::optional<Feed> Read(const JsonValue& root) {
    Feed feed;
    if (!Expect(root, JsonValue::Kind::Object, "the feed")) return std::nullopt;
    unsigned long long number = 0;
    if (!Whole(root, "format", number, std::numeric_limits<int>::max())) return std::nullopt;
    if (number != kFeedFormat) {
      Fail("format", "unsupported format " + std::to_string(number));
      return std::nullopt;
    }
    if (!Text(root, "product", feed.product, IsValidProductName)) return std::nullopt;
    if (!Whole(root, "published", number, std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    feed.published = static_cast<std::int64_t>(number);
    const JsonValue* releases = Required(root, "releases", JsonValue::Kind::Array);
    if (!releases) return std::nullopt;
    for (size_t i = 0; i < releases->items.size(); ++i) {
      path_ = "releases[" + std::to_string(i) + "].";
      FeedRelease release;
      if (!Release(releases->items[i], release)) return std::nullopt;
      for (const FeedRelease& earlier : feed.releases) {
        if (earlier.channel == release.channel && CompareVersions(earlier.version, release.version) == 0) {
          Fail("version", "the same version twice in channel " + release.channel);
          return std::nullopt;
        }
      }
      feed.releases.push_back(std::move(release));
    }
    return feed;
  }

 private:
  bool Fail(const std::string& key, const std::string& why) {
    if (error_) *error_ = path_ + key + ": " + why;
    return false;
  }

  bool Expect(const JsonValue& value, JsonValue::Kind kind, const std::string& key) {
    static const char* const kNames[] = {"null", "true or false", "a number", "a string", "an array", "an object"};
    if (value.kind == kind) return true;
    return Fail(key, std::string("not ") + kNames[static_cast<int>(kind)]);
  }

  const JsonValue* Required(const JsonValue& object, const char* key, JsonValue::Kind kind) {
    const JsonValue* value = object.Member(key);
    if (!value) {
      Fail(key, "missing");
      return nullptr;
    }
    return Expect(*value, kind, key) ? value : nullptr;
  }

  bool Whole(const JsonValue& object, const char* key, unsigned long long& number, unsigned long long max) {
    const JsonValue* value = Required(object, key, JsonValue::Kind::Number);
    if (!value) return false;
    const auto whole = JsonWholeNumber(*value, max);
    if (!whole) return Fail(key, "not a whole number from 0 to " + std::to_string(max));
    number = *whole;
    return true;
  }

  bool Text(const JsonValue& object, const char* key, std::string& text, bool (*valid)(std::string_view)) {
    const JsonValue* value = Required(object, key, JsonValue::Kind::String);
    if (!value) return false;
    if (!valid(value->text)) return Fail(key, "invalid value " + JsonQuote(value->text.substr(0, 64)));
    text = value->text;
    return true;
  }

  bool Package(const JsonValue& value, const std::string& key, FeedPackage& package) {
    if (!Expect(value, JsonValue::Kind::Object, key)) return false;
    const std::string outer = path_;
    path_ += key + ".";
    unsigned long long size = 0;
    const bool ok = Text(value, "url", package.url, IsValidPackageUrl) &&
                    Whole(value, "size", size, std::numeric_limits<std::uint64_t>::max()) &&
                    Text(value, "sha256", package.sha256, IsValidSha256);
    package.size = size;
    if (ok && size == 0) Fail("size", "a package is never empty");
    path_ = outer;
    return ok && size != 0;
  }

  bool Release(const JsonValue& value, FeedRelease& release) {
    if (!Expect(value, JsonValue::Kind::Object, "")) return false;
    if (!Text(value, "version", release.version, IsValidVersion)) return false;
    if (!Text(value, "channel", release.channel, IsValidChannel)) return false;
    if (value.Member("rollout")) {
      unsigned long long rollout = 0;
      if (!Whole(value, "rollout", rollout, 100)) return false;
      release.rollout = static_cast<int>(rollout);
    }
    if (value.Member("notes") && !Text(value, "notes", release.notes, IsValidNotes)) return false;
    const JsonValue* full = Required(value, "full", JsonValue::Kind::Object);
    if (!full || !Package(*full, "full", release.full)) return false;
    release.full.from.clear();
    if (!value.Member("deltas")) return true;
    const JsonValue* deltas = Required(value, "deltas", JsonValue::Kind::Array);
    if (!deltas) return false;
    for (size_t i = 0; i < deltas->items.size(); ++i) {
      const std::string key = "deltas[" + std::to_string(i) + "]";
      FeedPackage delta;
      if (!Package(deltas->items[i], key, delta)) return false;
      const std::string outer = path_;
      path_ += key + ".";
      const bool from = Text(deltas->items[i], "from", delta.from, IsValidVersion);
      path_ = outer;
      if (!from) return false;
      if (CompareVersions(delta.from, release.version) >= 0) {
        return Fail(key + ".from", "not older than the release");
      }
      for (const FeedPackage& earlier : release.deltas) {
        if (CompareVersions(earlier.from, delta.from) == 0) return Fail(key + ".from", "two deltas from it");
      }
      release.deltas.push_back(std::move(delta));
    }
    return true;
  }

  std::string* error_;
  std::string path_;
};

void WritePackage(std::string& out, const FeedPackage& package, const char* indent, bool delta) {
  out += "{\n";
  if (delta) out += std::string(indent) + "  \"from\": " + JsonQuote(package.from) + ",\n";
  out += std::string(indent) + "  \"url\": " + JsonQuote(package.url) + ",\n";
  out += std::string(indent) + "  \"size\": " + std::to_string(package.size) + ",\n";
  out += std::string(indent) + "  \"sha256\": " + JsonQuote(package.sha256) + "\n";
  out += std::string(indent) + "}";
}

}  // namespace

bool IsValidChannel(std::string_view channel) {
  if (channel.empty() || channel.size() > 32) return false;
  for (const char c : channel) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  }
  return true;
}

bool IsValidSha256(std::string_view hex) {
  if (hex.size() != 64) return false;
  for (const char c : hex) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool IsValidPackageUrl(std::string_view url) {
  if (url.empty() || url.size() > kMaxUrl || !IsPrintableAscii(url) || url.find('\\') != std::string_view::npos) {
    return false;
  }
  if (StartsWith(url, "//")) return false;
  // A colon before any '/', '?' or '#' starts a scheme: only https may be named.
  const size_t colon = url.find(':');
  if (colon != std::string_view::npos && colon < url.find_first_of("/?#")) {
    return StartsWith(url, "https://") && url.size() > 8;
  }
  return true;
}

bool IsValidProductName(std::string_view product) {
  return !product.empty() && product.size() <= 256 && IsPrintableAscii(product);
}

std::optional<Feed> ReadFeed(std::string_view json, std::string* error) {
  if (json.size() > kMaxFeedSize) {
    if (error) *error = "feed larger than " + std::to_string(kMaxFeedSize) + " bytes";
    return std::nullopt;
  }
  if (StartsWith(json, "\xEF\xBB\xBF")) json.remove_prefix(3);
  JsonLimits limits;
  limits.maxDocument = kMaxFeedSize;
  const auto root = ParseJson(json, limits, error);
  if (!root) return std::nullopt;
  return FeedReader(error).Read(*root);
}

std::string WriteFeed(const Feed& feed) {
  std::string out = "{\n";
  out += "  \"format\": " + std::to_string(feed.format) + ",\n";
  out += "  \"product\": " + JsonQuote(feed.product) + ",\n";
  out += "  \"published\": " + std::to_string(feed.published) + ",\n";
  out += "  \"releases\": [";
  for (size_t i = 0; i < feed.releases.size(); ++i) {
    const FeedRelease& release = feed.releases[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\n";
    out += "      \"version\": " + JsonQuote(release.version) + ",\n";
    out += "      \"channel\": " + JsonQuote(release.channel) + ",\n";
    out += "      \"rollout\": " + std::to_string(release.rollout) + ",\n";
    out += "      \"notes\": " + JsonQuote(release.notes) + ",\n";
    out += "      \"full\": ";
    WritePackage(out, release.full, "      ", false);
    out += ",\n      \"deltas\": [";
    for (size_t d = 0; d < release.deltas.size(); ++d) {
      out += d == 0 ? "\n        " : ",\n        ";
      WritePackage(out, release.deltas[d], "        ", true);
    }
    out += release.deltas.empty() ? "]\n" : "\n      ]\n";
    out += "    }";
  }
  out += feed.releases.empty() ? "]\n" : "\n  ]\n";
  out += "}\n";
  return out;
}
