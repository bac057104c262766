// The update lock as a user meets it: a folder squatting on its name, another launcher's update
// that takes a while (a window says so, and the running copy is looked for again), and one that
// never ends (a box, and an exit code that is not 0).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "DialogHelper.h"
#include "Host.h"
#include "Installation.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kLockName[] = L"~pt~0-0.tmp";
constexpr wchar_t kWaitWindowClass[] = L"PorticoUpdateWait";

std::wstring Link(const rig::Installation& install, const std::wstring& payload) {
  return L"\"" + install.scheme() + L"://" + payload + L"\"";
}

std::wstring ShortNameOf(const rig::Installation& install) {
  return install.progName().substr(0, install.progName().size() - 4);
}

// The lock as another launcher holds it while its update runs.
portico::FileHandle HoldLock(const rig::Installation& install) {
  return portico::FileHandle(CreateFileW((install.folder() / kLockName).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

// The launcher's waiting window, once it shows; null when none came within the time.
HWND WaitForWaitWindow(DWORD pid, DWORD timeoutMs = 15000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = rig::VisibleWindowOf(pid, kWaitWindowClass)) return window;
    if (GetTickCount64() >= deadline) return nullptr;
    Sleep(50);
  }
}

std::wstring TitleOf(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  return title;
}

// Whoever may write the installation can squat on the lock's name; the start goes on all the same,
// and what a link there leads to is left as it was. (Under Wine only a host link can be made, which
// every open follows.)
TEST(UpdateLock, AFolderAtItsNameDelaysNoStart) {
  enum class Squat { EmptyFolder, FolderWithAFile, LinkToAFolderOutside, LinkToAFileOutside, LinkToNothing };
  for (const Squat squat : {Squat::EmptyFolder, Squat::FolderWithAFile, Squat::LinkToAFolderOutside,
                            Squat::LinkToAFileOutside, Squat::LinkToNothing}) {
    SCOPED_TRACE(static_cast<int>(squat));
    rig::Installation install;
    install.WriteConfig();
    const fs::path squatter = install.folder() / kLockName;
    const fs::path outside = install.folder().parent_path() / (install.folder().filename().wstring() + L"-out");
    const bool linked = squat != Squat::EmptyFolder && squat != Squat::FolderWithAFile;
    std::unique_ptr<rig::HostSymlink> link;
    if (linked) {
      fs::create_directory(outside);
      if (squat == Squat::LinkToAFileOutside) rig::WriteFile(outside / L"victim.txt", "outside");
      const fs::path target = squat == Squat::LinkToAFolderOutside ? outside : outside / L"victim.txt";
      link = std::make_unique<rig::HostSymlink>(squatter, rig::HostPath(target));
    } else {
      fs::create_directory(squatter);
      if (squat == Squat::FolderWithAFile) rig::WriteFile(squatter / L"inside.txt", "kept");
    }
    const rig::DebuggeeResult result = install.RunLauncher(Link(install, L"open?id=5"));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(1));
    EXPECT_EQ(install.Record().starts.at(0).arguments, std::vector<std::string>{"open?id=5"});
    if (!linked) {
      EXPECT_EQ(fs::exists(squatter), squat != Squat::EmptyFolder);
    }
    if (squat == Squat::FolderWithAFile) {
      EXPECT_EQ(rig::ReadFile(squatter / L"inside.txt"), "kept");
    }
    if (linked) {
      if (squat == Squat::LinkToAFileOutside) {
        EXPECT_EQ(rig::ReadFile(outside / L"victim.txt"), "outside");
      } else {
        EXPECT_TRUE(fs::is_empty(outside));
      }
      link.reset();
      fs::remove_all(outside);
    }
  }
}

TEST(UpdateLock, AHeldLockShowsTheWaitAndTheStartGoesOnWhenReleased) {
  rig::Installation install;
  install.WriteConfig();
  install.SetLanguage(L"en-US");
  portico::FileHandle held = HoldLock(install);
  ASSERT_TRUE(held);
  rig::Debuggee launcher(install.launcher(), Link(install, L"open?id=8"));
  const HWND sign = WaitForWaitWindow(launcher.pid());
  ASSERT_NE(sign, nullptr);
  EXPECT_EQ(TitleOf(sign), L"Updating " + ShortNameOf(install) + L"\u2026");
  EXPECT_TRUE(install.Record().starts.empty());
  held.reset();
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(install.Record().starts.at(0).arguments, std::vector<std::string>{"open?id=8"});
}

// The bound is minutes long: once the waiting window shows, the launcher's clock is moved past it
// (each GetTickCount64 answers ten minutes ahead of the real one).
TEST(UpdateLock, ALockNeverReleasedEndsInABoxAndExitCodeTwo) {
  struct Case {
    bool english;
    std::wstring title;
    std::wstring caption;
    std::wstring droppedLink;
  };
  for (const Case& c : {Case{true, L"Updating ", L"Prompt", L"the link was not opened"},
                        Case{false, L"正在更新 ", L"提示", L"链接未打开"}}) {
    SCOPED_TRACE(c.english ? "English" : "Chinese");
    rig::Installation install;
    install.WriteConfig();
    if (c.english) install.SetLanguage(L"en-US");
    portico::FileHandle held = HoldLock(install);
    ASSERT_TRUE(held);
    std::atomic<bool> pastTheBound{false};
    rig::DebuggeeOptions options;
    options.breakOn = {"GetTickCount64"};
    options.onBreak = [&pastTheBound](const rig::BreakpointHit& hit) {
      if (!pastTheBound) return rig::HitAction::Continue;
      hit.returnValue = GetTickCount64() + 600000;
      return rig::HitAction::Return;
    };
    rig::Debuggee launcher(install.launcher(), Link(install, L"open?id=9"), options);
    const HWND sign = WaitForWaitWindow(launcher.pid());
    ASSERT_NE(sign, nullptr);
    EXPECT_EQ(TitleOf(sign), c.title + ShortNameOf(install) + L"\u2026");
    pastTheBound = true;
    const std::optional<rig::MessageBoxInfo> box = rig::WaitForMessageBox(launcher.pid());
    ASSERT_TRUE(box.has_value());
    // The waiting window went with the wait.
    EXPECT_EQ(rig::VisibleWindowOf(launcher.pid(), kWaitWindowClass), nullptr);
    EXPECT_EQ(box->caption, c.caption);
    EXPECT_NE(box->text.find(ShortNameOf(install)), std::wstring::npos) << box->text;
    EXPECT_NE(box->text.find(c.droppedLink), std::wstring::npos) << box->text;
    rig::PressButton(*box, IDOK);
    EXPECT_EQ(launcher.Wait().exitCode, 2u);
    EXPECT_TRUE(install.Record().starts.empty());
    EXPECT_TRUE(install.Record().pipeMessages.empty());
  }
}

// Another launcher holds the lock and starts the client meanwhile: the one that waited hands its
// link over instead of starting a second copy.
TEST(UpdateLock, AfterTheWaitTheLinkGoesToTheCopyStartedMeanwhile) {
  rig::Installation install;
  install.WriteConfig();
  portico::FileHandle held = HoldLock(install);
  ASSERT_TRUE(held);
  rig::Debuggee launcher(install.launcher(), Link(install, L"open?id=10"));
  ASSERT_NE(WaitForWaitWindow(launcher.pid()), nullptr);
  install.StartClient(L"normal", true);
  held.reset();
  const std::optional<rig::MessageBoxInfo> box = rig::WaitForMessageBox(launcher.pid());
  ASSERT_TRUE(box.has_value());
  rig::PressButton(*box, IDOK);
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("open?id=10\"\0", 12));
  EXPECT_EQ(install.Record().starts.size(), 1u);
}

// The copy the other launcher started may not have its window yet: the second look ends nothing, with
// or without forcerun, and the link starts a copy of its own.
TEST(UpdateLock, AfterTheWaitACopyWithoutAWindowIsLeftRunning) {
  for (const wchar_t* prefix : {L"", L"forcerun:"}) {
    SCOPED_TRACE(rig::ToUtf8(prefix));
    rig::Installation install;
    install.WriteConfig();
    portico::FileHandle held = HoldLock(install);
    ASSERT_TRUE(held);
    rig::Debuggee launcher(install.launcher(), std::wstring(prefix) + Link(install, L"open?id=11"));
    ASSERT_NE(WaitForWaitWindow(launcher.pid()), nullptr);
    const rig::RunningClient starting = install.StartClient(L"none", false);
    held.reset();
    EXPECT_EQ(launcher.Wait().exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(2));
    EXPECT_EQ(rig::Installation::ExitCodeOf(starting), static_cast<DWORD>(STILL_ACTIVE));
    install.EndClients();
  }
}

}  // namespace
