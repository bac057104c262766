// Staging against real folders: the leftovers in temp go, the download moves up.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "Debuggee.h"
#include "LauncherFolder.h"
#include "Scratch.h"
#include "UpdateStaging.h"
#include "WinHandles.h"

namespace {

namespace fs = std::filesystem;

const wchar_t* const kLeftovers[] = {L"Updater.exe", L"update.td0", L"update.td1", L"update.td2",
                                     L"update.td3",  L"update.td",  L"update.zip"};

std::wstring FolderOf(const rig::ScratchFolder& scratch) { return scratch.path().wstring() + L"\\"; }

std::vector<std::wstring> Contents(const fs::path& folder) {
  std::vector<std::wstring> names;
  for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Staging, EmptyTempIsLeftAsItIs) {
  rig::ScratchFolder install;
  fs::create_directory(install.path() / L"temp");
  const StagingReport report = StageUpdatePackageIn(FolderOf(install));
  EXPECT_EQ(report.updaterAttempts, 1);
  EXPECT_FALSE(report.archiveFound);
  EXPECT_TRUE(fs::is_empty(install.path() / L"temp"));
  EXPECT_EQ(Contents(install.path()), std::vector<std::wstring>{L"temp"});
}

TEST(Staging, MissingTempIsNotWaitedFor) {
  rig::ScratchFolder install;
  const StagingReport report = StageUpdatePackageIn(FolderOf(install));
  EXPECT_EQ(report.updaterAttempts, 1);
  EXPECT_TRUE(fs::is_empty(install.path()));
}

TEST(Staging, UpdaterHeldOpenIsDeletedAtTheThirdAttempt) {
  rig::ScratchFolder install;
  const fs::path updater = install.path() / L"temp" / L"Updater.exe";
  rig::WriteFile(updater, "old updater");
  // No delete sharing: like a running program, the file cannot go while this handle lives.
  portico::FileHandle held(CreateFileW(updater.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  std::thread release([&held] {
    Sleep(1500);
    held.reset();
  });
  const StagingReport report = StageUpdatePackageIn(FolderOf(install));
  release.join();
  EXPECT_EQ(report.updaterAttempts, 3);
  EXPECT_FALSE(fs::exists(updater));
}

TEST(Staging, DownloadReplacesTheArchiveInTheLauncherFolderAndTempIsCleared) {
  rig::ScratchFolder install;
  for (const wchar_t* name : kLeftovers) rig::WriteFile(install.path() / L"temp" / name, "left over");
  rig::WriteFile(install.path() / L"temp" / L"update.zip", "new archive");
  rig::WriteFile(install.path() / L"temp" / L"keep.txt", "not ours");
  rig::WriteFile(install.path() / L"update.zip", "old archive");
  const StagingReport report = StageUpdatePackageIn(FolderOf(install));
  EXPECT_EQ(report.updaterAttempts, 1);
  EXPECT_TRUE(report.archiveCopied);
  EXPECT_EQ(rig::ReadFile(install.path() / L"update.zip"), "new archive");
  EXPECT_EQ(Contents(install.path() / L"temp"), std::vector<std::wstring>{L"keep.txt"});
}

TEST(Staging, LoneTd2IsDeletedAndNoArchiveAppears) {
  rig::ScratchFolder install;
  rig::WriteFile(install.path() / L"temp" / L"update.td2", "part");
  const StagingReport report = StageUpdatePackageIn(FolderOf(install));
  EXPECT_FALSE(report.archiveFound);
  EXPECT_TRUE(fs::is_empty(install.path() / L"temp"));
  EXPECT_FALSE(fs::exists(install.path() / L"update.zip"));
}

TEST(Staging, DownloadStaysWhenTheCopyFails) {
  rig::ScratchFolder install;
  rig::WriteFile(install.path() / L"temp" / L"update.zip", "new archive");
  const fs::path installed = install.path() / L"update.zip";
  rig::WriteFile(installed, "old archive");
  // Locked by another reader (Wine's CopyFileW overwrites a read-only target, Windows refuses).
  portico::FileHandle locked(CreateFileW(installed.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(locked);
  const StagingReport report = StageUpdatePackageIn(FolderOf(install));
  locked.reset();
  EXPECT_TRUE(report.archiveFound);
  EXPECT_FALSE(report.archiveCopied);
  EXPECT_EQ(rig::ReadFile(install.path() / L"temp" / L"update.zip"), "new archive");
  EXPECT_EQ(rig::ReadFile(installed), "old archive");
}

TEST(Staging, FolderOutsideTheAnsiCodePageIsStagedThroughTheEntryPoint) {
  // This process runs under code page 1252, which has no Chinese characters.
  rig::ScratchFolder install(L"\x5B89\x88C5 \x5BA2\x6237\x7AEF");
  ASSERT_EQ(GetACP(), 1252u);
  rig::WriteFile(install.path() / L"temp" / L"update.zip", "new archive");
  rig::WriteFile(install.path() / L"temp" / L"update.td", "part");
  const fs::path probe = install.CopyProgram(L"StagingProbe.exe", L"StagingProbe.exe");
  const rig::DebuggeeResult result = rig::RunDebuggee(probe, L"");
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(rig::ReadFile(install.path() / L"update.zip"), "new archive");
  EXPECT_TRUE(fs::is_empty(install.path() / L"temp"));
  // The 8-bit form of the same folder names nothing.
  EXPECT_EQ(GetFileAttributesA(result.standardError.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(LauncherFolder, BothFormsEndInTheBackslashAfterTheFolder) {
  std::wstring wide;
  ASSERT_TRUE(GetLauncherFolder(wide));
  EXPECT_EQ(wide, rig::BinaryFolder().wstring() + L"\\");
  std::string ansi;
  ASSERT_TRUE(GetLauncherFolderAnsi(ansi));
  EXPECT_EQ(ansi, rig::BinaryFolder().string() + "\\");
}

TEST(LauncherFolder, AnsiFormIsNotCutInsideADoubleByteCharacter) {
  // In code page 932 the second byte of U+30BD is 0x5C, the code of a backslash.
  rig::ScratchFolder install(L"ja");
  const fs::path probe = install.CopyProgram(L"StagingProbe.exe", L"\x30BD.exe");
  rig::DebuggeeOptions options;
  options.environment = {{L"LANG", L"ja_JP.UTF-8"}};
  const rig::DebuggeeResult result = rig::RunDebuggee(probe, L"", options);
  EXPECT_EQ(result.exitCode, 0u);
  const std::wstring expected = install.path().wstring() + L"\\";
  char bytes[1024];
  const int length = WideCharToMultiByte(932, 0, expected.c_str(), -1, bytes, sizeof(bytes), nullptr, nullptr);
  ASSERT_GT(length, 0);
  EXPECT_EQ(result.standardError, std::string(bytes, static_cast<size_t>(length - 1)));
}

}  // namespace
