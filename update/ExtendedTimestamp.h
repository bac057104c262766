#pragma once
// The "UT" extended timestamp block (tag 0x5455) of an entry's local extra field.

#include <cstddef>
#include <cstdint>
#include <optional>

// Unix times, seconds since 1970-01-01 UTC; absent when the block does not carry them.
struct ExtendedTimestamp {
  std::optional<int64_t> write;
  std::optional<int64_t> access;
  std::optional<int64_t> creation;
};

// Walks the blocks of an extra field to the first "UT" block and reads the times its flags
// announce (bit 0 write, bit 1 access, bit 2 creation, in that order). A time is taken only when
// its four bytes lie inside both the block and the field.
ExtendedTimestamp ParseExtendedTimestamp(const uint8_t* field, size_t length);

// 100-nanosecond steps since 1601-01-01 UTC, the count of a Windows FILETIME.
uint64_t UnixTimeToFileTime(int64_t seconds);
