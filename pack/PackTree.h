#pragma once
// A release's installation tree as the packer sees it: every file and folder below a root, in a
// fixed order, with what an archive entry keeps of it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct TreeItem {
  std::string name;  // relative, UTF-8, '/' between components
  std::filesystem::path path;
  bool folder = false;
  bool emptyFolder = false;
  bool readOnly = false;
  std::uint64_t size = 0;
  std::int64_t writeTime = 0;  // Unix seconds
};

struct Tree {
  std::vector<TreeItem> items;  // sorted by name, byte by byte
  std::string error;            // set when the tree could not be read whole
};

// Links are refused rather than followed: what they point at may lie outside the tree.
Tree ScanTree(const std::filesystem::path& root);

// True when the two files hold the same bytes.
bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b, std::uint64_t size);
