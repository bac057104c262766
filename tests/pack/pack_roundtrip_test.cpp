// portico-pack make against the launcher: an installation of tree OLD, given the signed archive that
// `portico-pack make NEW --from OLD` writes, holds exactly tree NEW after one start (contents,
// read-only attributes, write times), and its program starts.
#include <windows.h>

#include <gtest/gtest.h>

#include "Host.h"
#include "Installation.h"
#include "Scratch.h"
#include "UpdateTree.h"
#include "WinHandles.h"

namespace {

namespace fs = std::filesystem;

struct Item {
  std::string name;     // UTF-8, '/' between components; a folder's ends in '/'
  std::string content;  // or a size in `size` for large files
  size_t size = 0;
  bool readOnly = false;
  int64_t writeTime = 1700000000;
};

struct Case {
  const char* name;
  std::vector<Item> before, after;
};

void SetWriteTime(const fs::path& file, int64_t unixSeconds) {
  const uint64_t ticks = static_cast<uint64_t>(unixSeconds) * 10000000ull + 116444736000000000ull;
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  portico::FileHandle handle(CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(handle);
  ASSERT_TRUE(SetFileTime(handle.get(), nullptr, nullptr, &time));
}

void Lay(const fs::path& root, const std::vector<Item>& items) {
  fs::create_directories(root);
  for (const Item& item : items) {
    const fs::path path = root / rig::FromUtf8(item.name);
    if (item.name.back() == '/') {
      fs::create_directories(path);
      continue;
    }
    fs::create_directories(path.parent_path());
    std::string content = item.content;
    if (item.size) {
      content.resize(item.size);
      for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919u) >> 11 ^ item.content.size());
    }
    rig::WriteFile(path, content);
    SetWriteTime(path, item.writeTime);
    if (item.readOnly) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  }
}

DWORD RunPack(const std::wstring& arguments) {
  const std::wstring program = (rig::BinaryFolder() / L"portico-pack.exe").wstring();
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return GetLastError();
  }
  portico::KernelHandle process(info.hProcess);
  portico::KernelHandle thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

std::string PublicKey() {
  const std::string text = rig::ReadFile(rig::BinaryFolder() / L"testkeys" / L"vendor.pub");
  const size_t start = text.find('\n') + 1;
  return text.substr(start, text.find('\n', start) - start);
}

// Names as the file system compares them. A file written over another under a new letter case keeps
// the spelling the file system has for it (under Wine, the old one): what counts is that it is there.
updatetest::Tree Folded(const updatetest::Tree& tree) {
  updatetest::Tree folded;
  for (const auto& [name, item] : tree) {
    std::wstring key = name;
    CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    folded[key] = item;
  }
  return folded;
}

std::wstring Quoted(const fs::path& path) { return L"\"" + path.wstring() + L"\""; }

class PackRoundTrip : public testing::TestWithParam<Case> {};

TEST_P(PackRoundTrip, TheInstallationOfOldBecomesNew) {
  const Case& c = GetParam();
  rig::ScratchFolder trees(L"trees");
  Lay(trees.path() / L"old", c.before);
  Lay(trees.path() / L"new", c.after);

  rig::Installation install;
  install.WriteConfig("<UpdatePublicKey>" + PublicKey() + "</UpdatePublicKey>");
  install.WriteClientSettings("window=none\n");
  Lay(install.folder(), c.before);
  const fs::path archive = install.folder() / L"temp" / L"update.zip";
  ASSERT_EQ(RunPack(L"make " + Quoted(trees.path() / L"new") + L" --from " + Quoted(trees.path() / L"old") + L" -o " +
                    Quoted(archive)),
            0u);
  ASSERT_EQ(rig::RunHostProgram("/usr/bin/minisign",
                                {"-S", "-s", rig::HostPath(rig::BinaryFolder() / L"testkeys" / L"vendor.key"), "-m",
                                 rig::HostPath(archive)}),
            0);

  install.RunLauncher(L"");
  EXPECT_TRUE(install.WaitForStarts(1));
  const std::wstring client = install.progName();
  const std::set<std::wstring> own = {L"Portico.exe",
                                      L"ProductConfig.xml",
                                      client,
                                      install.RecordFile().filename().wstring(),
                                      client.substr(0, client.size() - 4) + L".settings.txt",
                                      L"temp",
                                      L"~pt-update.stamp"};
  EXPECT_EQ(updatetest::Differences(Folded(updatetest::Snapshot(trees.path() / L"new")),
                                    Folded(updatetest::Snapshot(install.folder(), own))),
            std::vector<std::string>());
  // A signed pass leaves only its word to the client's updater in temp.
  std::vector<std::wstring> inTemp;
  for (const auto& item : fs::directory_iterator(install.folder() / L"temp")) {
    inTemp.push_back(item.path().filename().wstring());
  }
  EXPECT_EQ(inTemp, std::vector<std::wstring>{L"~pt-update.outcome"});
  EXPECT_EQ(rig::ReadFile(install.folder() / L"temp" / L"~pt-update.outcome").rfind("installed\t", 0), 0u);
}

const std::string kUmlautFolder =
    "\xC3\xBC"
    "ber";                                                 // über
const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本

INSTANTIATE_TEST_SUITE_P(
    Trees, PackRoundTrip,
    testing::Values(
        Case{"Added", {{"a.txt", "a"}}, {{"a.txt", "a"}, {"b.txt", "b", 0, false, 1710000000}}},
        Case{"Changed",
             {{"a.txt", "one"}, {"ro.txt", "same"}, {"t.txt", "same"}},
             {{"a.txt", "two", 0, false, 1710000000}, {"ro.txt", "same", 0, true}, {"t.txt", "same"}}},
        Case{
            "Removed", {{"a.txt", "a"}, {"gone.txt", "g"}, {"old/x.txt", "x"}, {"old/y/z.txt", "z"}}, {{"a.txt", "a"}}},
        Case{"CaseOnlyRename", {{"lib/a.dll", "same"}}, {{"lib/A.dll", "same"}}},
        Case{"NestedFolders",
             {{"a.txt", "a"}},
             {{"a.txt", "a"}, {"d1/d2/d3/d4/f.txt", "deep"}, {"d1/e.txt", "e", 0, true, 1720000000}}},
        Case{"EmptyFolders",
             {{"a.txt", "a"}, {"was-empty/", ""}},
             {{"a.txt", "a"}, {"empty/", ""}, {"empty/inner/", ""}}},
        Case{"NonAsciiNames",
             {{kUmlautFolder + "/a.txt", "a"}},
             {{kUmlautFolder + "/a.txt", "b", 0, false, 1710000000}, {kJapanese + "/" + kJapanese + ".txt", "c"}}},
        Case{"FiftyMebibytes", {{"big.bin", "1", 50u << 20}}, {{"big.bin", "22", 50u << 20, false, 1710000000}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
