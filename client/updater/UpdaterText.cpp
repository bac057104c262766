#include "UpdaterText.h"

#include <limits>
#include <vector>

namespace portico::client::updater {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The scheme's length when `url` starts with one followed by ':', else 0.
size_t SchemeLength(std::string_view url) {
  if (url.empty() || !((url[0] >= 'a' && url[0] <= 'z') || (url[0] >= 'A' && url[0] <= 'Z'))) return 0;
  for (size_t i = 1; i < url.size(); ++i) {
    const char c = url[i];
    if (c == ':') return i;
    const bool schemeChar =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!schemeChar) return 0;
  }
  return 0;
}

struct SplitAddress {
  std::string_view scheme, authority, path, query;  // query with its '?'
};

// scheme://authority/path?query of an absolute address; the fragment is dropped.
std::optional<SplitAddress> Split(std::string_view url) {
  url = url.substr(0, url.find('#'));
  const size_t schemeLength = SchemeLength(url);
  if (schemeLength == 0 || url.substr(schemeLength, 3) != "://") return std::nullopt;
  SplitAddress split;
  split.scheme = url.substr(0, schemeLength);
  std::string_view rest = url.substr(schemeLength + 3);
  const size_t authorityEnd = rest.find_first_of("/?");
  split.authority = rest.substr(0, authorityEnd);
  if (split.authority.empty()) return std::nullopt;
  rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  const size_t queryStart = rest.find('?');
  split.path = rest.substr(0, queryStart);
  if (queryStart != std::string_view::npos) split.query = rest.substr(queryStart);
  return split;
}

// "." and ".." segments of an absolute path removed, as browsers do.
std::string WithoutDotSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  bool endsInDotSegment = false;  // "/a/b/.." names the folder "/a/"
  size_t start = 1;               // after the leading '/'
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    endsInDotSegment = (segment == "." || segment == "..") && end == path.size();
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string_view segment : segments) {
    result += '/';
    result += segment;
  }
  if (endsInDotSegment || result.empty()) result += '/';
  return result;
}

std::string_view HostOf(std::string_view authority) {
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);
  if (!authority.empty() && authority[0] == '[') return authority.substr(0, authority.find(']') + 1);
  return authority.substr(0, authority.find(':'));
}

}  // namespace

std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference) {
  const std::optional<SplitAddress> from = Split(base);
  if (!from) return std::nullopt;
  reference = reference.substr(0, reference.find('#'));
  if (SchemeLength(reference) != 0) {
    if (!Split(reference)) return std::nullopt;
    return std::string(reference);
  }
  const std::string origin = std::string(from->scheme) + "://" + std::string(from->authority);
  if (reference.substr(0, 2) == "//") return std::string(from->scheme) + ":" + std::string(reference);
  if (reference.empty()) return origin + std::string(from->path.empty() ? "/" : from->path) + std::string(from->query);
  if (reference[0] == '?') return origin + std::string(from->path.empty() ? "/" : from->path) + std::string(reference);
  const size_t queryStart = reference.find('?');
  const std::string_view referencePath = reference.substr(0, queryStart);
  const std::string_view referenceQuery =
      queryStart == std::string_view::npos ? std::string_view() : reference.substr(queryStart);
  std::string path;
  if (referencePath[0] == '/') {
    path = std::string(referencePath);
  } else {
    const size_t folderEnd = from->path.rfind('/');
    path = (folderEnd == std::string_view::npos ? std::string("/") : std::string(from->path.substr(0, folderEnd + 1))) +
           std::string(referencePath);
  }
  return origin + WithoutDotSegments(path) + std::string(referenceQuery);
}

std::string SignatureUrl(std::string_view url) {
  url = url.substr(0, url.find('#'));
  const size_t queryStart = url.find('?');
  if (queryStart == std::string_view::npos) return std::string(url) + ".minisig";
  return std::string(url.substr(0, queryStart)) + ".minisig" + std::string(url.substr(queryStart));
}

bool IsFetchAllowed(std::string_view url, bool allowPlainHttp) {
  const std::optional<SplitAddress> split = Split(url);
  if (!split) return false;
  if (EqualsNoCase(split->scheme, "https")) return true;
  if (!EqualsNoCase(split->scheme, "http")) return false;
  if (allowPlainHttp) return true;
  const std::string_view host = HostOf(split->authority);
  return host == "127.0.0.1" || EqualsNoCase(host, "localhost") || host == "[::1]";
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t max) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

namespace {

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

bool IsLowerHexSha256(std::string_view text) {
  if (text.size() != 64) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

constexpr std::uint64_t kMaxTimestamp = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

}  // namespace

OutcomeLine ParseOutcomeLine(std::string_view text) {
  OutcomeLine outcome;
  if (text.empty() || text.back() != '\n') return outcome;
  text.remove_suffix(1);
  const std::vector<std::string_view> fields = Fields(text);
  if (fields.size() < 2) return outcome;
  const std::optional<std::uint64_t> timestamp = ParseDecimal(fields[1], kMaxTimestamp);
  if (!timestamp) return outcome;
  if (fields[0] == "installed" && fields.size() == 3) {
    outcome.kind = OutcomeLine::installed;
    outcome.version = std::string(fields[2]);
  } else if (fields[0] == "refused" && fields.size() == 4 && !fields[2].empty() && IsLowerHexSha256(fields[3])) {
    outcome.kind = OutcomeLine::refused;
    outcome.reason = std::string(fields[2]);
    outcome.sha256 = std::string(fields[3]);
  } else {
    return outcome;
  }
  outcome.timestamp = static_cast<std::int64_t>(*timestamp);
  return outcome;
}

std::string DownloadMeta(std::string_view url, std::uint64_t size, std::string_view sha256) {
  return "url\t" + std::string(url) + "\nsize\t" + std::to_string(size) + "\nsha256\t" + std::string(sha256) + "\n";
}

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  if (value.substr(0, 6) != "bytes ") return std::nullopt;
  value.remove_prefix(6);
  const size_t dash = value.find('-');
  const size_t slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  const auto first = ParseDecimal(value.substr(0, dash), kMaxTimestamp);
  const auto last = ParseDecimal(value.substr(dash + 1, slash - dash - 1), kMaxTimestamp);
  const auto total = ParseDecimal(value.substr(slash + 1), kMaxTimestamp);
  if (!first || !last || !total || *first > *last || *last >= *total) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

std::string LowerHex(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xf];
  }
  return hex;
}

std::optional<RefusalSeen> ParseRefusalSeen(std::string_view text) {
  if (text.empty() || text.back() != '\n') return std::nullopt;
  text.remove_suffix(1);
  const std::vector<std::string_view> fields = Fields(text);
  if (fields.size() != 2 || !IsLowerHexSha256(fields[0])) return std::nullopt;
  const std::optional<std::uint64_t> published = ParseDecimal(fields[1], kMaxTimestamp);
  if (!published) return std::nullopt;
  return RefusalSeen{std::string(fields[0]), static_cast<std::int64_t>(*published)};
}

std::string WriteRefusalSeen(const RefusalSeen& seen) {
  return seen.sha256 + "\t" + std::to_string(seen.published) + "\n";
}

}  // namespace portico::client::updater
