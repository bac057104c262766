#pragma once
// The update feed: a signed JSON file on a static server that lists the releases of one product, each
// with its full package and the deltas from earlier versions. portico-pack writes it; the client
// updater reads it. Reading is strict: any key missing, of the wrong type or out of its range makes
// the whole feed invalid; keys it does not know are ignored.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FeedVersion.h"

constexpr size_t kMaxFeedSize = 4u << 20;
constexpr int kFeedFormat = 1;

struct FeedPackage {
  std::string url;  // relative to the feed's own URL, or absolute https://
  std::uint64_t size = 0;
  std::string sha256;  // 64 lowercase hexadecimal digits
  std::string from;    // a delta's base version; empty for the full package
};

struct FeedRelease {
  std::string version, channel, notes;
  int rollout = 100;  // percent of installations, 0..100
  FeedPackage full;
  std::vector<FeedPackage> deltas;
};

struct Feed {
  int format = kFeedFormat;
  std::string product;         // the Protocol
  std::int64_t published = 0;  // Unix seconds, the feed signature's trusted timestamp
  std::vector<FeedRelease> releases;
};

// The feed, or nothing with `error` (when given) naming the first fault.
std::optional<Feed> ReadFeed(std::string_view json, std::string* error);

// Keys in a fixed order, two-space indent, a line feed at the end; releases in the order given.
std::string WriteFeed(const Feed& feed);

bool IsValidChannel(std::string_view channel);  // [a-z0-9-]{1,32}
bool IsValidSha256(std::string_view hex);       // 64 lowercase hexadecimal digits
// A package URL: printable ASCII without blanks or backslashes, relative (not "//host"), or https://.
bool IsValidPackageUrl(std::string_view url);
// A product name as a trusted comment carries it: 1 to 256 printable ASCII characters, no blank.
bool IsValidProductName(std::string_view product);
