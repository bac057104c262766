#include "QueryMask.h"

namespace {

constexpr char kQueryStarts[] = "?#";
constexpr char kSegmentStarts[] = "?&#";

void AppendMaskedSegment(std::string& out, const std::string& line, size_t begin, size_t end) {
  const size_t equals = line.find('=', begin);
  if (equals < end) {
    out.append(line, begin, equals + 1 - begin);
    if (equals + 1 < end) out += kQueryValueMask;
  } else if (begin < end) {
    out += kQueryValueMask;
  }
}

}  // namespace

std::string MaskLinkQueries(const std::string& line) {
  const size_t start = line.find_first_of(kQueryStarts);
  if (start == std::string::npos) return line;
  size_t end = line.size();
  if (end > start + 1 && line[end - 1] == '\n') --end;
  if (end > start + 1 && line[end - 1] == '"') --end;

  std::string out(line, 0, start);
  size_t at = start;
  while (at < end) {
    out += line[at];  // the separator
    const size_t next = line.find_first_of(kSegmentStarts, at + 1);
    const size_t segmentEnd = next < end ? next : end;
    AppendMaskedSegment(out, line, at + 1, segmentEnd);
    at = segmentEnd;
  }
  out.append(line, end, std::string::npos);
  return out;
}
