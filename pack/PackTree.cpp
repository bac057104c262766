#include "PackTree.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The file clock's epoch lies a whole number of seconds from the system clock's.
std::int64_t UnixSeconds(fs::file_time_type time) {
  using namespace std::chrono;
  const auto offset =
      round<seconds>(fs::file_time_type::clock::now().time_since_epoch() -
                     duration_cast<fs::file_time_type::duration>(system_clock::now().time_since_epoch()));
  return floor<seconds>(time.time_since_epoch() - offset).count();
}

std::string NameOf(const fs::path& relative) {
  std::string name = relative.generic_u8string();
  return name;
}

}  // namespace

Tree ScanTree(const fs::path& root) {
  Tree tree;
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    tree.error = "'" + root.u8string() + "' is no folder";
    return tree;
  }
  fs::recursive_directory_iterator walk(root, fs::directory_options::none, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    const fs::directory_entry& entry = *walk;
    TreeItem item;
    item.path = entry.path();
    item.name = NameOf(entry.path().lexically_relative(root));
    const fs::file_status status = entry.symlink_status(error);
    if (error) break;
    if (fs::is_symlink(status)) {
      tree.error = "'" + item.name + "' is a link; copy what it points at into the tree";
      return tree;
    }
    if (fs::is_directory(status)) {
      item.folder = true;
      item.emptyFolder = fs::is_empty(entry.path(), error);
    } else if (fs::is_regular_file(status)) {
      item.size = entry.file_size(error);
    } else {
      tree.error = "'" + item.name + "' is neither a file nor a folder";
      return tree;
    }
    if (error) break;
    item.readOnly = (status.permissions() & fs::perms::owner_write) == fs::perms::none;
    item.writeTime = UnixSeconds(entry.last_write_time(error));
    if (error) break;
    tree.items.push_back(std::move(item));
  }
  if (error) {
    tree.error = "cannot read '" + root.u8string() + "': " + error.message();
    tree.items.clear();
    return tree;
  }
  std::sort(tree.items.begin(), tree.items.end(), [](const TreeItem& a, const TreeItem& b) { return a.name < b.name; });
  return tree;
}

bool SameContent(const fs::path& a, const fs::path& b, std::uint64_t size) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> one(1 << 16), two(1 << 16);
  std::uint64_t left = size;
  while (left > 0) {
    const auto chunk = static_cast<std::streamsize>(std::min<std::uint64_t>(left, one.size()));
    if (!first.read(one.data(), chunk) || !second.read(two.data(), chunk)) return false;
    if (!std::equal(one.begin(), one.begin() + chunk, two.begin())) return false;
    left -= static_cast<std::uint64_t>(chunk);
  }
  // Either file may have grown meanwhile.
  return first.peek() == std::char_traits<char>::eof() && second.peek() == std::char_traits<char>::eof();
}
