// The walk over an entry's extra field to its "UT" block. The input is the extra field itself, in
// a buffer of exactly its size; the times read must match a plain reading of the same blocks.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "ExtendedTimestamp.h"
#include "FuzzCheck.h"

namespace {

// The same rules, written as a reader of blocks that copies each block out first.
ExtendedTimestamp ReadPlainly(const uint8_t* field, size_t length) {
  ExtendedTimestamp times;
  size_t at = 0;
  while (length > 4 && at < length - 4) {
    const unsigned tag = field[at] | (field[at + 1] << 8);
    const size_t size = field[at + 2] | (field[at + 3] << 8);
    const size_t start = at + 4;
    if (tag == 0x5455) {
      const size_t end = start + size < length ? start + size : length;
      if (start >= end) return times;
      const uint8_t flags = field[start];
      size_t next = start + 1;
      std::optional<int64_t>* slots[3] = {&times.write, &times.access, &times.creation};
      for (int bit = 0; bit < 3; ++bit) {
        if (!(flags & (1 << bit))) continue;
        if (next + 4 > end) break;
        uint32_t value = 0;
        for (int k = 3; k >= 0; --k) value = (value << 8) | field[next + k];
        *slots[bit] = static_cast<int32_t>(value);
        next += 4;
      }
      return times;
    }
    at = start + size;
  }
  return times;
}

void CheckFileTime(const std::optional<int64_t>& seconds) {
  if (!seconds) return;
  const uint64_t steps = UnixTimeToFileTime(*seconds);
  // 1970 lies 11644473600 seconds after 1601; a 32-bit time never lands before 1601.
  FUZZ_CHECK(steps == static_cast<uint64_t>(*seconds + 11644473600LL) * 10000000ULL);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ExtendedTimestamp times = ParseExtendedTimestamp(data, size);
  const ExtendedTimestamp plain = ReadPlainly(data, size);
  FUZZ_CHECK(times.write == plain.write);
  FUZZ_CHECK(times.access == plain.access);
  FUZZ_CHECK(times.creation == plain.creation);
  CheckFileTime(times.write);
  CheckFileTime(times.access);
  CheckFileTime(times.creation);
  // Wider times than the block carries are clamped, never wrapped.
  if (size >= 8) {
    int64_t wide = 0;
    for (int k = 7; k >= 0; --k) wide = static_cast<int64_t>((static_cast<uint64_t>(wide) << 8) | data[k]);
    const uint64_t steps = UnixTimeToFileTime(wide);
    if (wide < -11644473600LL) FUZZ_CHECK(steps == 0);
    if (wide > 0) FUZZ_CHECK(steps >= UnixTimeToFileTime(0));
  }
  return 0;
}
