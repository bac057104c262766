// Junctions and symbolic links in the installation: a user without administrator rights may make
// them where the installation or its temp is writable, and the elevated update must not write,
// copy or delete through them. Wine follows a host symbolic link as Windows follows a junction.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostileUpdate.h"
#include "Installation.h"
#include "WinHandles.h"

namespace {

namespace fs = std::filesystem;

using hostile::File;
using hostile::Links;
using hostile::RunUpdate;
using hostile::UpdateRun;

struct LinkCase {
  std::string what;
  std::wstring link;   // inside the installation
  std::string target;  // as the host reads it, relative to the link's folder
  std::vector<std::string> entries;
  // Wine marks a host link to a folder as a reparse point, but not one to a file; Windows marks
  // both, and refuses such an entry. Under Wine the new file takes the link's own place.
  bool refusedUnderWine = true;
};

TEST(HostileFileSystem, NoEntryIsWrittenThroughALink) {
  const std::vector<LinkCase> cases = {
      {"folder linked outside", L"linked", "../outside-linked", {"linked/evil.txt", "LINKED\\sub\\evil.txt"}},
      {"folder two levels down linked outside", L"a\\b", "../../outside-b", {"a/b/evil.txt", "a/b/c/d/evil.txt"}},
      {"file linked outside", L"note.txt", "../outside.txt", {"note.txt"}, false},
      {"folder linked back inside", L"alias", "data", {"alias/evil.txt", "alias/keep.txt"}},
  };
  for (const LinkCase& c : cases) {
    std::vector<ziptest::Entry> entries = {File("data/fine.txt", "fine")};
    for (const std::string& name : c.entries) entries.push_back(File(name, "hostile"));
    const UpdateRun run = RunUpdate(ziptest::Build(entries), [&](const fs::path& installation) {
      fs::create_directories((installation / c.link).parent_path());
      fs::create_directories(installation.parent_path() / L"outside-linked");
      fs::create_directories(installation.parent_path() / L"outside-b");
      Links links;
      links.push_back(std::make_unique<rig::HostSymlink>(installation / c.link, c.target));
      return links;
    });
    EXPECT_EQ(run.exitCode, 0u) << c.what;
    EXPECT_TRUE(run.targetStarted) << c.what;
    EXPECT_TRUE(run.outsideChanges.empty()) << c.what << ": " << rig::ToUtf8(run.outsideChanges.front());
    EXPECT_TRUE(run.leftovers.empty()) << c.what;
    // The harmless entry beside them still arrives, and nothing hostile does, not even back inside.
    EXPECT_EQ(run.newInstalledFiles.count(L"data\\fine.txt"), 1u) << c.what;
    if (!c.refusedUnderWine) continue;
    EXPECT_TRUE(run.damagedInstalledFiles.empty()) << c.what;
    for (const auto& [name, content] : run.installedAfter) EXPECT_NE(content, "hostile") << c.what;
  }
}

TEST(HostileFileSystem, ATempLinkedElsewhereIsNotStaged) {
  const std::string archive = ziptest::Build({File("data/fine.txt", "fine")});
  const UpdateRun run = RunUpdate("", [&](const fs::path& installation) {
    const fs::path elsewhere = installation.parent_path() / L"outside-temp";
    for (const wchar_t* name : {L"Updater.exe", L"update.td0", L"update.td"}) rig::WriteFile(elsewhere / name, "x");
    rig::WriteFile(elsewhere / L"update.zip", archive);
    fs::remove_all(installation / L"temp");
    Links links;
    links.push_back(std::make_unique<rig::HostSymlink>(installation / L"temp", "../outside-temp"));
    return links;
  });
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.targetStarted);
  // The download files beside the link's target were neither deleted nor copied up.
  EXPECT_TRUE(run.outsideChanges.empty()) << rig::ToUtf8(run.outsideChanges.front());
  EXPECT_FALSE(run.archiveLeft);
  EXPECT_EQ(run.installedAfter.count(L"data\\fine.txt"), 0u);
}

// temp is sound when the launcher looks, and becomes a link while it waits for the old updater to go:
// nothing in the link's target is deleted or staged.
TEST(HostileFileSystem, ATempLinkedElsewhereWhileTheLauncherWaitsIsNotTouched) {
  rig::Installation install;
  install.WriteConfig();
  const fs::path temp = install.folder() / L"temp";
  const fs::path elsewhere = install.folder().parent_path() / rig::UniqueName(L"outside-temp-");
  const std::vector<std::wstring> names = {L"Updater.exe", L"update.td0", L"update.td", L"update.zip"};
  for (const std::wstring& name : names) rig::WriteFile(elsewhere / name, "x");
  rig::WriteFile(temp / L"Updater.exe", "old updater");
  // Held without leave to delete it, the old updater makes the launcher wait and try again.
  portico::FileHandle updater(
      CreateFileW((temp / L"Updater.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(updater);
  std::unique_ptr<rig::HostSymlink> link;
  rig::DebuggeeOptions options;
  options.breakOn = {"Sleep"};
  options.onBreak = [&](const rig::BreakpointHit&) {
    if (!link) {
      updater.reset();
      fs::rename(temp, install.folder() / L"temp-before");
      link = std::make_unique<rig::HostSymlink>(temp, "../" + rig::ToUtf8(elsewhere.filename().wstring()));
    }
    return rig::HitAction::Continue;
  };
  rig::Debuggee launcher(install.launcher(), L"", options);
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(link) << "the launcher did not wait for the updater";
  for (const std::wstring& name : names) EXPECT_EQ(rig::ReadFile(elsewhere / name), "x") << rig::ToUtf8(name);
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip"));
  link.reset();
  fs::remove_all(elsewhere);
}

}  // namespace
