// The launcher in a scratch installation: an update left in temp is in place before the target
// program starts.
#include <windows.h>

#include <gtest/gtest.h>

#include "Host.h"
#include "Installation.h"
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

}  // namespace
