#pragma once
// An update archive's entries as the launcher describes them: read with minizip, as the launcher
// reads it, and named, timed and given attributes by the launcher's own code.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct ArchiveEntry {
  std::wstring name;       // cleaned, as the launcher takes it; empty when the stored name does not fit
  std::string storedName;  // the bytes as stored
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  std::uint16_t method = 0;
  bool encrypted = false;
  bool folder = false;
  std::optional<std::int64_t> writeTime;  // from the extended timestamp
};

struct ArchiveContents {
  bool readable = false;
  std::vector<ArchiveEntry> entries;       // in the launcher's order
  std::optional<std::string> removalList;  // the bytes of ~pt~removals.txt, up to one byte past its bound
  std::string error;
};

ArchiveContents ReadArchiveEntries(const std::filesystem::path& archive);
