#pragma once
// Zip archives made byte by byte for the update tests: local headers, central directory and end
// record, stored or deflated data, and every field the extraction reads set by hand, damage
// included.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

constexpr uint16_t kMadeOnDos = 0x0014;   // host 0, zip 2.0
constexpr uint16_t kMadeOnNtfs = 0x0B14;  // host 11
constexpr uint16_t kMadeOnUnix = 0x0314;  // host 3

// A Unix mode as the external attributes carry it: in the high half.
constexpr uint32_t UnixMode(uint32_t mode) { return mode << 16; }

struct Entry {
  std::string name;  // the stored bytes
  std::string data;  // the content before compression
  bool deflate = false;
  uint16_t versionMadeBy = kMadeOnDos;
  uint32_t externalAttributes = 0x20;
  uint16_t dosDate = ((2021 - 1980) << 9) | (6 << 5) | 15;  // 2021-06-15
  uint16_t dosTime = (10 << 11) | (30 << 5) | (20 / 2);     // 10:30:20
  uint16_t flags = 0;
  std::string localExtra;
  std::string centralExtra;
  std::optional<uint32_t> crc;          // a wrong one on purpose
  std::optional<std::string> payload;   // stored instead of the (compressed) data
  std::optional<uint16_t> method;       // in both headers, instead of 0 or 8
  std::optional<uint16_t> localMethod;  // in the local header only, disagreeing
};

std::string Build(const std::vector<Entry>& entries);

// Raw deflate (no zlib header), as zip stores it.
std::string Deflate(const std::string& data);

// A "UT" extra block: the flags byte, then the times given, each four bytes little-endian. The
// size written in the block header is `declaredSize` when given, else the true one.
std::string TimestampBlock(uint8_t flags, const std::vector<int32_t>& times,
                           std::optional<uint16_t> declaredSize = std::nullopt);
// Any other extra block.
std::string ExtraBlock(uint16_t tag, const std::string& data);

}  // namespace ziptest
