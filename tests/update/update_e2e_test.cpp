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

}  // namespace
