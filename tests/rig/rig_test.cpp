// The rig's helpers against the real API under Wine: a real message box of another process, a
// real debuggee, real scratch folders and keys.
#include <gtest/gtest.h>

#include "Debuggee.h"
#include "DialogHelper.h"
#include "Scratch.h"

namespace fs = std::filesystem;

namespace {

fs::path Probe() { return rig::BinaryFolder() / L"RigProbe.exe"; }

TEST(DialogHelper, ReadsAndAnswersAnotherProcessMessageBox) {
  rig::Debuggee probe(Probe(), L"box \"Rig caption\" \"Rig text 字\"");
  ASSERT_NE(probe.pid(), 0u);
  auto box = rig::WaitForMessageBox(probe.pid());
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->caption, L"Rig caption");
  EXPECT_EQ(box->text, L"Rig text 字");
  ASSERT_EQ(box->buttons.size(), 2u);
  EXPECT_EQ(box->buttons[0].id, IDOK);
  EXPECT_EQ(box->buttons[1].id, IDCANCEL);
  EXPECT_EQ(box->owner, nullptr);
  ASSERT_TRUE(rig::PressButton(*box, IDCANCEL));
  auto result = probe.Wait();
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(IDCANCEL));
}

TEST(DialogHelper, ReportsNoBoxWhenThereIsNone) {
  rig::Debuggee probe(Probe(), L"emit 1 0");
  ASSERT_NE(probe.pid(), 0u);
  EXPECT_TRUE(rig::NoMessageBoxFor(probe.pid(), 300));
  probe.Wait();
}

TEST(Debuggee, CollectsDebuggerPiecesStandardErrorAndExitCode) {
  auto result = rig::RunDebuggee(Probe(), L"emit 300 7");
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 7u);
  ASSERT_EQ(result.debugStrings.size(), 2u);
  EXPECT_EQ(result.debugStrings[0], "first");
  EXPECT_EQ(result.debugStrings[1], std::string(300, 'x'));
  // The C runtime writes standard error in text mode: the line feed arrives as CR LF.
  EXPECT_EQ(result.standardError, "to standard error\r\n");
}

TEST(Debuggee, ReportsAProgramThatCannotStart) {
  rig::Debuggee missing(rig::BinaryFolder() / L"NoSuchProgram.exe", L"");
  EXPECT_EQ(missing.pid(), 0u);
  EXPECT_EQ(missing.Wait().exitCode, static_cast<DWORD>(-1));
}

TEST(Scratch, FolderAndKeyAreRemovedAfterUse) {
  fs::path kept;
  std::wstring keyPath = L"Software\\" + rig::UniqueName(L"PorticoRig");
  {
    rig::ScratchFolder folder(L"with blanks 字");
    kept = folder.path();
    rig::WriteFile(folder.path() / L"sub" / L"a.txt", "abc");
    SetFileAttributesW((folder.path() / L"sub" / L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(rig::ReadFile(folder.path() / L"sub" / L"a.txt"), "abc");

    rig::ScratchRegistryKey key(HKEY_CURRENT_USER, keyPath + L"\\Inner");
    EXPECT_TRUE(key.SetString(L"", L"value"));
    HKEY probe = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (keyPath + L"\\Inner").c_str(), 0, KEY_READ, &probe), ERROR_SUCCESS);
    RegCloseKey(probe);
  }
  EXPECT_FALSE(fs::exists(kept));
  HKEY probe = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, (keyPath + L"\\Inner").c_str(), 0, KEY_READ, &probe), ERROR_SUCCESS);
  RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
}

}  // namespace
