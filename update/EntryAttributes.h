#pragma once
// The Windows file attributes of an archive entry, from the host system that made the archive.

#include <cstdint>

// The values of the matching FILE_ATTRIBUTE_* bits.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeSystem = 0x04;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;

// Archives made on DOS, Windows NTFS, VFAT or OS/2 HPFS (hosts 0, 11, 14, 7) keep DOS attribute
// bits in the low byte; every other host keeps a Unix file mode in the high half.
uint32_t DecodeEntryAttributes(uint16_t versionMadeBy, uint32_t externalAttributes);
