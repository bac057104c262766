// Links opened through the real shell, as a browser opens them, once a start of the launcher has
// registered the scheme.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>

#include "DialogHelper.h"
#include "Installation.h"
#include "Launchers.h"
#include "WinHandles.h"

namespace {

INT_PTR OpenThroughTheShell(const std::wstring& link) {
  return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", link.c_str(), nullptr, nullptr, SW_SHOW));
}

// Wine's shell reads HKEY_CLASSES_ROOT, which Wine keeps as HKEY_LOCAL_MACHINE\Software\Classes
// alone; Windows' HKEY_CLASSES_ROOT is a merged view in which the user's own classes come first.
// For a scheme registered per user, the test puts a copy of the user's key where Wine's shell looks,
// once it has seen that the shell does not find the scheme without it.
std::unique_ptr<rig::ScratchRegistryKey> ShowUserSchemeToWinesShell(const rig::LauncherKind& kind,
                                                                    const std::wstring& scheme) {
  if (kind.classes.root != HKEY_CURRENT_USER) return nullptr;
  EXPECT_EQ(OpenThroughTheShell(scheme + L"://unseen"), SE_ERR_NOASSOC);
  auto machineCopy = std::make_unique<rig::ScratchRegistryKey>(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + scheme);
  portico::RegKey source;
  portico::RegKey target;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kind.classes.SchemeKey(scheme).c_str(), 0, KEY_READ, source.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, machineCopy->subKey().c_str(), 0, KEY_ALL_ACCESS, target.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCopyTreeW(source.get(), nullptr, target.get()), ERROR_SUCCESS);
  return machineCopy;
}

class ShellLink : public testing::TestWithParam<rig::LauncherKind> {};
INSTANTIATE_TEST_SUITE_P(Launchers, ShellLink, testing::ValuesIn(rig::kLaunchers), rig::LauncherKindName());

TEST_P(ShellLink, ReachesTheTargetOnTheStartRoadAndOverThePipe) {
  rig::Installation install(L"install", GetParam().file);
  install.WriteConfig();
  install.WriteClientSettings("pipe=" + rig::ToUtf8(install.pipe()) + "\n");
  // A start from the shortcut registers the scheme.
  ASSERT_EQ(install.RunLauncher(L"").exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  install.EndClients();
  const auto shown = ShowUserSchemeToWinesShell(GetParam(), install.scheme());

  const std::wstring link = install.scheme() + L"://open?id=7";
  ASSERT_GT(OpenThroughTheShell(link), 32);
  ASSERT_TRUE(install.WaitForStarts(2));
  EXPECT_EQ(install.Record().starts.at(1).arguments, std::vector<std::string>{"open?id=7"});

  // The copy it started runs with a window and serves the pipe: the next link is handed over.
  ASSERT_GT(OpenThroughTheShell(install.scheme() + L"://open?id=8"), 32);
  DWORD launcher = rig::WaitForProcess(GetParam().file);
  ASSERT_NE(launcher, 0u);
  auto box = rig::WaitForMessageBox(launcher);
  ASSERT_TRUE(box.has_value());
  rig::PressButton(*box, IDOK);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("open?id=8\"\0", 11));
  EXPECT_EQ(install.Record().starts.size(), 2u);
}

}  // namespace
