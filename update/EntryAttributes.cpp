#include "EntryAttributes.h"

namespace {

constexpr uint32_t kUnixDirectory = 0x40000000;   // S_IFDIR in the high half
constexpr uint32_t kUnixOwnerWrite = 0x00800000;  // S_IWUSR in the high half

bool KeepsDosAttributes(uint8_t host) { return host == 0 || host == 7 || host == 11 || host == 14; }

}  // namespace

uint32_t DecodeEntryAttributes(uint16_t versionMadeBy, uint32_t externalAttributes) {
  const auto host = static_cast<uint8_t>(versionMadeBy >> 8);
  if (KeepsDosAttributes(host)) {
    return externalAttributes &
           (kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeDirectory | kAttributeArchive);
  }
  uint32_t attributes = kAttributeArchive;
  if (externalAttributes & kUnixDirectory) attributes |= kAttributeDirectory;
  if (!(externalAttributes & kUnixOwnerWrite)) attributes |= kAttributeReadOnly;
  return attributes;
}
