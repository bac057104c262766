#pragma once
// The text of the installation's update stamp: decimal Unix seconds, an optional line feed.

#include <cstddef>
#include <cstdint>
#include <string_view>

// Only the launcher writes the stamp, whole or not at all; a stamp longer than this is no stamp.
constexpr size_t kMaxStampBytes = 32;

// The seconds the stamp holds; 0 for anything else (empty, too long, not a number, an overflow).
uint64_t ParseUpdateStamp(std::string_view text);
