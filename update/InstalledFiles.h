#pragma once
// What the installation holds, read a folder at a time: an update asks about every entry's path
// (its room, links on the way), and one listing per folder answers for all of its files.

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct InstalledFile {
  DWORD attributes = 0;
  uint64_t size = 0;
};

class InstalledFiles {
 public:
  // `root` ends in a separator.
  explicit InstalledFiles(std::wstring root);

  // What lies at `relative` below the root, by its long or its short name; nothing when nothing does.
  std::optional<InstalledFile> Find(const std::wstring& relative);

  // True when an existing component of `relative`, the last one included, is a reparse point: a
  // junction, a symbolic link or a mounted folder, through which a write would leave the root.
  bool CrossesReparsePoint(const std::wstring& relative);

 private:
  using Listing = std::map<std::wstring, InstalledFile>;  // by upper-cased name
  const Listing& ListingOf(const std::wstring& folder);

  std::wstring root_;
  std::map<std::wstring, Listing> folders_;  // by upper-cased relative folder
};
