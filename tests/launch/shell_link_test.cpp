// Links opened through the real shell, as a browser opens them, once a start of the launcher has
// registered the scheme.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "DialogHelper.h"
#include "Installation.h"

namespace {

TEST(ShellLink, ReachesTheTargetOnTheStartRoadAndOverThePipe) {
  rig::Installation install;
  install.WriteConfig();
  install.WriteClientSettings("pipe=" + rig::ToUtf8(install.pipe()) + "\n");
  // A start from the shortcut registers the scheme.
  ASSERT_EQ(install.RunLauncher(L"").exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  install.EndClients();

  const std::wstring link = install.scheme() + L"://open?id=7";
  ASSERT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", link.c_str(), nullptr, nullptr, SW_SHOW)), 32);
  ASSERT_TRUE(install.WaitForStarts(2));
  EXPECT_EQ(install.Record().starts.at(1).arguments, std::vector<std::string>{"open?id=7"});

  // The copy it started runs with a window and serves the pipe: the next link is handed over.
  const std::wstring second = install.scheme() + L"://open?id=8";
  ASSERT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", second.c_str(), nullptr, nullptr, SW_SHOW)), 32);
  DWORD launcher = rig::WaitForProcess(L"Portico.exe");
  ASSERT_NE(launcher, 0u);
  auto box = rig::WaitForMessageBox(launcher);
  ASSERT_TRUE(box.has_value());
  rig::PressButton(*box, IDOK);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("open?id=8\"\0", 11));
  EXPECT_EQ(install.Record().starts.size(), 2u);
}

}  // namespace
