#include "UpdateTree.h"

#include <sstream>

#include "Host.h"
#include "Installation.h"
#include "OrphanName.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace updatetest {
namespace {

constexpr DWORD kComparedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::string Describe(const Item& item) {
  if (item.folder) return "a folder";
  return std::to_string(item.content.size()) + " bytes, attributes " + std::to_string(item.attributes) +
         ", written " + std::to_string(item.writeTime);
}

}  // namespace

Tree Snapshot(const fs::path& root, const std::set<std::wstring>& leaveOut) {
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::wstring relative = fs::relative(it->path(), root).wstring();
    if (leaveOut.count(relative)) {
      it.disable_recursion_pending();
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(it->path().c_str(), GetFileExInfoStandard, &data);
    Item item;
    item.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!item.folder) {
      item.content = rig::ReadFile(it->path());
      item.attributes = data.dwFileAttributes & kComparedAttributes;
      item.writeTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;
    }
    tree[relative] = item;
  }
  return tree;
}

Tree HostSnapshot(const fs::path& root, const std::set<std::wstring>& leaveOut) {
  const fs::path list = fs::temp_directory_path() / (rig::UniqueName(L"portico-hashes-") + L".txt");
  rig::RunHostProgram("/bin/sh", {"-c", "cd '" + rig::HostPath(root) + "' && find . -type f -print0 | xargs -0 -r sha1sum > '" +
                                            rig::HostPath(list.parent_path()) + "/" + list.filename().string() + "'"});
  std::istringstream lines(rig::ReadFile(list));
  fs::remove(list);
  Tree tree;
  std::string line;
  while (std::getline(lines, line)) {
    // "<hash>  ./relative/path"
    if (line.size() < 44) continue;
    std::wstring relative = rig::FromUtf8(line.substr(44));
    for (wchar_t& c : relative) c = c == L'/' ? L'\\' : c;
    if (leaveOut.count(relative)) continue;
    tree[relative].content = line.substr(0, 40);
  }
  return tree;
}

void HostCopy(const fs::path& from, const fs::path& to) {
  rig::RunHostProgram("/bin/cp", {"-a", rig::HostPath(from) + "/.", rig::HostPath(to)});
}

void HostRemove(const fs::path& folder) { rig::RunHostProgram("/bin/rm", {"-rf", rig::HostPath(folder)}); }

bool IsOrphan(const std::wstring& relative) { return IsOrphanName(fs::path(relative).filename().wstring()); }

std::vector<std::string> Differences(const Tree& expected, const Tree& actual) {
  std::vector<std::string> lines;
  for (const auto& [path, item] : expected) {
    auto it = actual.find(path);
    if (it == actual.end()) {
      lines.push_back("missing " + rig::ToUtf8(path));
    } else if (!(it->second == item)) {
      lines.push_back("differs " + rig::ToUtf8(path) + ": " + Describe(it->second) + ", expected " + Describe(item));
    }
  }
  for (const auto& [path, item] : actual) {
    if (!expected.count(path)) lines.push_back("extra " + rig::ToUtf8(path));
  }
  return lines;
}

void SetFixedWriteTime(const fs::path& file) {
  portico::FileHandle handle(CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const FILETIME fixed{0x12345600u, 0x01D00000u};  // in 2014
  SetFileTime(handle.get(), nullptr, nullptr, &fixed);
}

}  // namespace updatetest
