// Link queries masked for the log file, over any line. Whatever the input, what follows the first
// '?' or '#' is only separators, keys and masks (and a closing quote and line feed): no byte of a
// value can survive. The masked line is never longer, keeps everything before the query, and is its
// own mask.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "QueryMask.h"

namespace {

bool IsSeparator(char c) { return c == '?' || c == '&' || c == '#'; }

// One segment of masked output: empty, the mask, "key=" or "key=" and the mask.
bool IsMaskedSegment(const std::string& segment) {
  if (segment.empty() || segment == std::string(1, kQueryValueMask)) return true;
  const size_t equals = segment.find('=');
  if (equals == std::string::npos) return false;
  const std::string value = segment.substr(equals + 1);
  return value.empty() || value == std::string(1, kQueryValueMask);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::string masked = MaskLinkQueries(line);
  FUZZ_CHECK(masked.size() <= line.size());
  FUZZ_CHECK(MaskLinkQueries(masked) == masked);

  const size_t start = line.find_first_of("?#");
  if (start == std::string::npos) {
    FUZZ_CHECK(masked == line);
    return 0;
  }
  FUZZ_CHECK(masked.compare(0, start, line, 0, start) == 0);
  std::string query = masked.substr(start);
  // What may stay behind the query: the line's final line feed, and a quote before it or at the end.
  if (query.size() > 1 && query.back() == '\n') {
    FUZZ_CHECK(line.back() == '\n');
    query.pop_back();
  }
  if (query.size() > 1 && query.back() == '"') query.pop_back();
  FUZZ_CHECK(IsSeparator(query[0]));
  size_t at = 0;
  while (at < query.size()) {
    size_t next = at + 1;
    while (next < query.size() && !IsSeparator(query[next])) ++next;
    FUZZ_CHECK(IsMaskedSegment(query.substr(at + 1, next - at - 1)));
    at = next;
  }
  return 0;
}
