#pragma once
// The updater's text: addresses, the launcher's outcome line, the partial download's description,
// the server's Content-Range. No Windows headers, so that it also builds natively.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace portico::client::updater {

// `reference` resolved against `base` as a browser resolves a link (absolute, "//host...", "/path",
// or relative to base's folder, with "." and ".." segments removed); the fragment is dropped.
// Nothing when base is no absolute address.
std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference);

// The address of the minisign signature beside a file: ".minisig" added to its path, before any
// query, so that a signed CDN address keeps its query.
std::string SignatureUrl(std::string_view url);

// https:// always; http:// only to 127.0.0.1, localhost or [::1], unless plain HTTP is allowed.
bool IsFetchAllowed(std::string_view url, bool allowPlainHttp);

// temp\~pt-update.outcome as the launcher writes it; kind none for anything else.
struct OutcomeLine {
  enum Kind { none, installed, refused } kind = none;
  std::int64_t timestamp = 0;
  std::string version, reason, sha256;
};
OutcomeLine ParseOutcomeLine(std::string_view text);

// temp\~pt-download.meta: the package the partial download belongs to.
std::string DownloadMeta(std::string_view url, std::uint64_t size, std::string_view sha256);

// "bytes <first>-<last>/<total>" of a 206 answer.
struct ContentRange {
  std::uint64_t first = 0, last = 0, total = 0;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);

// Decimal digits only, at most `max`.
std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t max);

std::string LowerHex(const unsigned char* bytes, std::size_t size);

// stateFolder\refusal: the refused package, and the feed under which its refusal was first seen.
struct RefusalSeen {
  std::string sha256;
  std::int64_t published = 0;
};
std::optional<RefusalSeen> ParseRefusalSeen(std::string_view text);
std::string WriteRefusalSeen(const RefusalSeen& seen);

}  // namespace portico::client::updater
