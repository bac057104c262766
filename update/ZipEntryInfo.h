#pragma once
// One archive entry as the extraction hands it out.

#include <cstdint>
#include <string>

struct ZipEntryInfo {
  // Position in the central directory from 0; for the query with index -1, the number of entries.
  int32_t index = 0;
  // The cleaned name, UTF-16, at most 259 units; empty when the stored name did not fit.
  std::wstring name;
  // Cleaning changed the stored name: it had a drive, a root or a parent step in front.
  bool nameCleaned = false;
  // FILE_ATTRIBUTE_* bits: read-only, hidden, system, directory, archive.
  uint32_t attributes = 0;
  // FILETIME counts (100 ns since 1601, UTC); 0 leaves that time as the file system sets it.
  uint64_t accessTime = 0;
  uint64_t creationTime = 0;
  uint64_t writeTime = 0;
  int32_t compressedSize = 0;
  int32_t uncompressedSize = 0;
};
