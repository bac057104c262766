// The zip attribute decoding and the DOS time stamp. Input: version made by (2 bytes), external
// attributes (4), DOS date (2), DOS time (2), all little-endian; missing bytes are zero.
#include <cstddef>
#include <cstdint>

#include "DosDateTime.h"
#include "EntryAttributes.h"
#include "FuzzCheck.h"

namespace {

uint32_t Take(const uint8_t* data, size_t size, size_t at, size_t count) {
  uint32_t value = 0;
  for (size_t k = count; k-- > 0;) value = (value << 8) | (at + k < size ? data[at + k] : 0);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto versionMadeBy = static_cast<uint16_t>(Take(data, size, 0, 2));
  const uint32_t external = Take(data, size, 2, 4);
  const uint32_t attributes = DecodeEntryAttributes(versionMadeBy, external);
  const uint32_t known =
      kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeDirectory | kAttributeArchive;
  FUZZ_CHECK((attributes & ~known) == 0);
  const unsigned host = versionMadeBy >> 8;
  if (host == 0 || host == 7 || host == 11 || host == 14) {
    FUZZ_CHECK(attributes == (external & known));
  } else {
    FUZZ_CHECK(attributes & kAttributeArchive);
    FUZZ_CHECK(!(attributes & (kAttributeHidden | kAttributeSystem)));
    FUZZ_CHECK(((attributes & kAttributeDirectory) != 0) == ((external & 0x40000000) != 0));
  }

  const auto date = static_cast<uint16_t>(Take(data, size, 6, 2));
  const auto time = static_cast<uint16_t>(Take(data, size, 8, 2));
  if (const auto stamp = DecodeDosDateTime(date, time)) {
    FUZZ_CHECK(stamp->year >= 1980 && stamp->year <= 2107);
    FUZZ_CHECK(stamp->month >= 1 && stamp->month <= 12);
    FUZZ_CHECK(stamp->day >= 1 && stamp->day <= 31);
    FUZZ_CHECK(stamp->hour <= 23 && stamp->minute <= 59 && stamp->second <= 58);
  }
  return 0;
}
