// The launcher in a scratch installation: an update left in temp is in place before the target
// program starts.
#include <windows.h>

#include <gtest/gtest.h>

#include "Host.h"
#include "Installation.h"
#include "WinHandles.h"
#include "ZipBuilder.h"

namespace {

namespace fs = std::filesystem;

ziptest::Entry File(const std::string& name, const std::string& data) {
  ziptest::Entry entry;
  entry.name = name;
  entry.data = data;
  entry.deflate = true;
  return entry;
}

TEST(UpdateOnStart, UpdateLeftInTempIsInstalledBeforeTheTargetStarts) {
  rig::Installation install;
  install.WriteConfig();
  const fs::path target = install.folder() / install.progName();
  const std::string client = rig::ReadFile(target);
  // Only the program that the update brings can start and record anything.
  rig::WriteFile(target, "no program");
  rig::WriteFile(install.folder() / L"temp" / L"Updater.exe", "old updater");
  rig::WriteFile(install.folder() / L"temp" / L"update.zip",
                 ziptest::Build({File(rig::ToUtf8(install.progName()), client), File("data/notes.txt", "version 2")}));

  const rig::DebuggeeResult result = install.RunLauncher(L"");
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(rig::ReadFile(target), client);
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip"));
  EXPECT_TRUE(fs::is_empty(install.folder() / L"temp"));
}

TEST(UpdateOnStart, InstallationFolderOutsideTheAnsiCodePageGetsItsUpdate) {
  // Code page 1252 has none of these characters.
  rig::Installation install(L"\x5B89\x88C5 \x5BA2\x6237\x7AEF");
  install.WriteConfig();
  rig::WriteFile(install.folder() / L"temp" / L"update.zip",
                 ziptest::Build({File("data/\xE8\xAF\xB4\xE6\x98\x8E.txt", "version 2")}));

  const rig::DebuggeeResult result = install.RunLauncher(L"");
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"\x8BF4\x660E.txt"), "version 2");
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip"));
  EXPECT_TRUE(fs::is_empty(install.folder() / L"temp"));
}

TEST(UpdateOnStart, LauncherInADriveRootWorksInThatRoot) {
  rig::Installation install;
  install.WriteConfig();
  rig::WriteFile(install.folder() / L"temp" / L"update.zip", ziptest::Build({File("data/notes.txt", "version 2")}));
  fs::create_directories(install.folder() / L"sub");
  rig::MappedDrive drive(L'P', install.folder());

  // "P:" alone is the drive's current folder, which the environment sets elsewhere than its root.
  rig::DebuggeeOptions options;
  options.workingFolder = install.folder().parent_path();
  options.environment = {{L"=P:", L"P:\\sub"}};
  const rig::DebuggeeResult result = rig::RunDebuggee(drive.root() / L"Portico.exe", L"", options);
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(install.Record().starts.at(0).workingFolder, "P:\\");
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
  EXPECT_FALSE(fs::exists(install.folder() / L"sub" / L"data"));
}

// A file entry named like a folder of the installation fails: the folder stays whole, the archive
// waits for a later start, and the target starts all the same.
TEST(UpdateOnStart, AFileEntryOverAFolderLeavesTheFolderWholeAndKeepsTheArchive) {
  rig::Installation install;
  install.WriteConfig();
  const fs::path data = install.folder() / L"data";
  rig::WriteFile(data / L"kept.txt", "kept");
  rig::WriteFile(install.folder() / L"temp" / L"update.zip", ziptest::Build({File("data", "a file")}));

  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  ASSERT_TRUE(fs::is_directory(data));
  EXPECT_EQ(rig::ReadFile(data / L"kept.txt"), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator(data), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::exists(install.folder() / L"update.zip"));
}

std::wstring FinalPathOf(HANDLE handle) {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = GetFinalPathNameByHandleW(handle, path, MAX_PATH * 2, VOLUME_NAME_DOS);
  return length > 0 && length < MAX_PATH * 2 ? std::wstring(path, length) : std::wstring();
}

std::wstring FinalPathOf(const fs::path& folder) {
  const portico::FileHandle handle(CreateFileW(folder.c_str(), 0,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle ? FinalPathOf(handle.get()) : std::wstring();
}

// The installation's folder answers no final path, so where an entry below it lands cannot be told:
// the entry fails, and the archive waits for a start that can tell. Each time the launcher asks for
// the folder's final path, it asks with no handle.
TEST(UpdateOnStart, AnUpdateBelowAFolderWithoutAFinalPathIsKept) {
  rig::Installation install;
  install.WriteConfig();
  install.WriteClientSettings("window=none\n");
  rig::WriteFile(install.folder() / L"data" / L"notes.txt", "version 1");
  rig::WriteFile(install.folder() / L"update.zip", ziptest::Build({File("data/notes.txt", "version 2")}));
  const std::wstring root = FinalPathOf(install.folder());
  ASSERT_FALSE(root.empty());

  rig::DebuggeeOptions options;
  options.breakOn = {"GetFinalPathNameByHandleW"};
  int hidden = 0;
  options.onBreak = [&](const rig::BreakpointHit& hit) {
    HANDLE copy = nullptr;
    if (DuplicateHandle(hit.process, reinterpret_cast<HANDLE>(hit.context->Rcx), GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
      const portico::KernelHandle mine(copy);
      if (FinalPathOf(mine.get()) == root) {
        hit.context->Rcx = 0;
        ++hidden;
      }
    }
    return rig::HitAction::Continue;
  };
  EXPECT_EQ(install.RunLauncher(L"", options).exitCode, 0u);
  EXPECT_GT(hidden, 0);
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 1");
  ASSERT_TRUE(fs::exists(install.folder() / L"update.zip"));

  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip"));
}

// What a removal list does to each kind of path it names, all in one pass: a row is a line of the
// list, what stood there before, and whether it is still there after.
struct RemovalRow {
  const char* line;     // empty: not listed
  const wchar_t* path;  // checked after the pass; set up before it unless it is to be missing
  enum Before { None, File, ReadOnlyFile, Folder } before;
  bool remains;
};

TEST(UpdateRemovals, EachListedPathIsRemovedOrKeptAsItsKindDemands) {
  rig::Installation install;
  install.WriteConfig("<LogFile>portico.log</LogFile>");
  install.WriteClientSettings("window=none\n");
  const fs::path root = install.folder();
  const fs::path outside = root.parent_path() / (root.filename().wstring() + L"-out");
  rig::WriteFile(outside / L"victim.txt", "outside");
  rig::WriteFile(root.parent_path() / L"outside.txt", "outside");
  const rig::HostSymlink linked(root / L"linked", rig::HostPath(outside));
  const std::vector<RemovalRow> rows = {
      {"old.dll", L"old.dll", RemovalRow::File, false},
      {"ro.dll", L"ro.dll", RemovalRow::ReadOnlyFile, false},
      {"plugins/legacy/a.dll", L"plugins\\legacy\\a.dll", RemovalRow::File, false},
      {"plugins\\legacy\\b.dll", L"plugins", RemovalRow::None, false},  // its folders went empty
      {"shared/x.dll", L"shared\\x.dll", RemovalRow::File, false},
      {"", L"shared\\keep.txt", RemovalRow::File, true},  // not listed
      {"emptydir/", L"emptydir", RemovalRow::Folder, false},
      {"fulldir/", L"fulldir\\inside.txt", RemovalRow::File, true},
      {"missing.dll", L"missing.dll", RemovalRow::None, false},
      {"linked/victim.txt", L"linked\\victim.txt", RemovalRow::None, true},
      {"linked", L"linked", RemovalRow::None, true},
      {"../outside.txt", L"..\\outside.txt", RemovalRow::None, true},
      {"Portico.exe", L"Portico.exe", RemovalRow::None, true},
      {"productconfig.XML", L"ProductConfig.xml", RemovalRow::None, true},
      {"temp/", L"temp", RemovalRow::None, true},
      {"temp/notes.txt", L"temp\\notes.txt", RemovalRow::File, true},
      {"~pt-update.stamp", L"~pt-update.stamp", RemovalRow::File, true},
      {"portico.log", L"portico.log", RemovalRow::None, true},
      {"portico.log.1", L"portico.log.1", RemovalRow::File, true},
      {"portico.log.lock", L"portico.log.lock", RemovalRow::None, false},
      {"data/new.txt", L"data\\new.txt", RemovalRow::File, true},
      {"update.zip", L"update.zip", RemovalRow::None, false},  // kept for the pass, then deleted
  };
  std::string list;
  for (const RemovalRow& row : rows) {
    if (*row.line) list += std::string(row.line) + "\r\n";
    if (row.before == RemovalRow::File || row.before == RemovalRow::ReadOnlyFile) {
      rig::WriteFile(root / row.path, "old");
    } else if (row.before == RemovalRow::Folder) {
      fs::create_directories(root / row.path);
    }
    if (row.before == RemovalRow::ReadOnlyFile) SetFileAttributesW((root / row.path).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  rig::WriteFile(root / L"temp" / L"update.zip",
                 ziptest::Build({File("data/new.txt", "new"), File("~pt~removals.txt", list)}));

  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_TRUE(install.WaitForStarts(1));
  for (const RemovalRow& row : rows) EXPECT_EQ(fs::exists(root / row.path), row.remains) << row.line;
  EXPECT_EQ(rig::ReadFile(root / L"data" / L"new.txt"), "new");
  EXPECT_EQ(rig::ReadFile(outside / L"victim.txt"), "outside");
  const std::string log = rig::ReadFile(root / L"portico.log");
  EXPECT_NE(log.find("] extraction: 2 entries, 2 applied, 0 skipped, 0 failed; removals: 5 removed, 3 already gone, "
                     "9 kept, 4 skipped, 0 failed; update.zip deleted\n"),
            std::string::npos)
      << log;
  fs::remove_all(outside);
  fs::remove(root.parent_path() / L"outside.txt");
}

// A file another program holds without delete sharing cannot go now: the archive waits, and the
// start after the program let go removes it.
TEST(UpdateRemovals, AFileInUseKeepsTheArchiveAndTheNextStartRemovesIt) {
  rig::Installation install;
  install.WriteConfig("<LogFile>portico.log</LogFile>");
  install.WriteClientSettings("window=none\n");
  const fs::path held = install.folder() / L"bin" / L"held.dll";
  rig::WriteFile(held, "old");
  rig::WriteFile(install.folder() / L"temp" / L"update.zip",
                 ziptest::Build({File("~pt~removals.txt", "bin/held.dll\n")}));
  {
    const portico::FileHandle holder(
        CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  }
  EXPECT_TRUE(fs::exists(held));
  EXPECT_TRUE(fs::exists(install.folder() / L"update.zip"));
  const std::string log = rig::ReadFile(install.folder() / L"portico.log");
  EXPECT_NE(log.find("removals: 0 removed, 0 already gone, 0 kept, 0 skipped, 1 failed; update.zip kept: removals "
                     "failed, a later start tries them again\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("] removal failed: bin\\held.dll (in use or denied)\n"), std::string::npos) << log;

  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_FALSE(fs::exists(install.folder() / L"bin"));
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip"));
}

}  // namespace
