#pragma once
// An installation's files as the update guarantees speak of them: each file's bytes, attributes and
// write time, keyed by its path relative to the installation, folders included.

#include <windows.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace updatetest {

struct Item {
  bool folder = false;
  std::string content;
  DWORD attributes = 0;  // read-only, hidden, system and archive only
  uint64_t writeTime = 0;
  bool operator==(const Item& other) const {
    return folder == other.folder && content == other.content && attributes == other.attributes &&
           writeTime == other.writeTime;
  }
};
using Tree = std::map<std::wstring, Item>;

// Every item below `root`, except the names in `leaveOut` (relative, at any depth below the root).
Tree Snapshot(const std::filesystem::path& root, const std::set<std::wstring>& leaveOut = {});

// The same for trees of thousands of files, read by the host in one go: each file's content is its
// SHA-1 in hexadecimal; attributes, times and empty folders are not seen.
Tree HostSnapshot(const std::filesystem::path& root, const std::set<std::wstring>& leaveOut = {});

// Copies everything below `from` into `to`, and removes a whole tree, on the host.
void HostCopy(const std::filesystem::path& from, const std::filesystem::path& to);
void HostRemove(const std::filesystem::path& folder);

// An update's own temporary file, by its name.
bool IsOrphan(const std::wstring& relative);

// The differences between two trees, as readable lines; empty when they are equal.
std::vector<std::string> Differences(const Tree& expected, const Tree& actual);

// One fixed write time for files a test lays out, so that trees of different runs compare.
void SetFixedWriteTime(const std::filesystem::path& file);

}  // namespace updatetest
