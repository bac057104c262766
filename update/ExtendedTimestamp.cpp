#include "ExtendedTimestamp.h"

#include <algorithm>

namespace {

constexpr uint16_t kTimestampTag = 0x5455;  // "UT"
constexpr size_t kBlockHeaderSize = 4;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr uint64_t kFileTimeStepsPerSecond = 10000000;

uint16_t ReadUint16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

int32_t ReadInt32(const uint8_t* at) {
  const uint32_t value = static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
                         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
  return static_cast<int32_t>(value);
}

ExtendedTimestamp ReadTimestampBlock(const uint8_t* field, size_t dataStart, size_t blockEnd) {
  ExtendedTimestamp times;
  if (dataStart >= blockEnd) return times;
  const uint8_t flags = field[dataStart];
  std::optional<int64_t>* slots[3] = {&times.write, &times.access, &times.creation};
  size_t at = dataStart + 1;
  for (int bit = 0; bit < 3; ++bit) {
    if (!(flags & (1u << bit))) continue;
    if (blockEnd - at < 4) break;
    *slots[bit] = ReadInt32(field + at);
    at += 4;
  }
  return times;
}

}  // namespace

ExtendedTimestamp ParseExtendedTimestamp(const uint8_t* field, size_t length) {
  if (field == nullptr) return {};
  size_t at = 0;
  while (at + kBlockHeaderSize < length) {
    const uint16_t tag = ReadUint16(field + at);
    const size_t size = ReadUint16(field + at + 2);
    const size_t dataStart = at + kBlockHeaderSize;
    if (tag == kTimestampTag) return ReadTimestampBlock(field, dataStart, std::min(dataStart + size, length));
    at = dataStart + size;
  }
  return {};
}

uint64_t UnixTimeToFileTime(int64_t seconds) {
  // "UT" times are 32-bit; wider input is clamped rather than wrapped.
  constexpr int64_t kLatest = static_cast<int64_t>(UINT64_MAX / kFileTimeStepsPerSecond) - kSecondsFrom1601To1970;
  if (seconds < -kSecondsFrom1601To1970) return 0;
  if (seconds > kLatest) seconds = kLatest;
  return static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * kFileTimeStepsPerSecond;
}
