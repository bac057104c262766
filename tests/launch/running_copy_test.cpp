// Which running process is the target's copy, what the launcher holds while it deals with it, and the
// links that reach it: a program of the same name elsewhere, a client closing while its link is on the
// way, a pipe busy twice, the debug privilege, and HandOffBox.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "DialogHelper.h"
#include "Installation.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace {

using rig::Installation;

std::wstring Link(const Installation& install, const std::wstring& payload) {
  return L"\"" + install.scheme() + L"://" + payload + L"\"";
}

// Runs the launcher; a box it shows within a moment is read and answered.
struct LauncherRun {
  std::optional<rig::MessageBoxInfo> box;
  rig::DebuggeeResult result;
};
// A box that is expected is waited for as long as a loaded machine may take to show it; one that is
// not is given two seconds to appear.
LauncherRun RunAnsweringAnyBox(const fs::path& launcher, const std::wstring& commandLine, bool boxExpected,
                               rig::DebuggeeOptions options = {}) {
  rig::Debuggee debuggee(launcher, commandLine, std::move(options));
  LauncherRun run;
  run.box = rig::WaitForMessageBox(debuggee.pid(), boxExpected ? 15000 : 2000);
  if (run.box) rig::PressButton(*run.box, IDOK);
  run.result = debuggee.Wait();
  return run;
}

// The folder's path with its letters in the other case, the way a user may have typed it.
fs::path OtherCase(const fs::path& path) {
  std::wstring text = path.wstring();
  for (wchar_t& c : text) c = iswupper(c) ? towlower(c) : towupper(c);
  return text;
}

TEST(RunningCopy, OnlyAnImageInTheLauncherFolderIsACopy) {
  struct Case {
    const char* name;
    bool elsewhere;         // the running program lies in another folder
    const wchar_t* window;  // its window; without one, a copy would be ended on the start road
    bool forceRun;
    bool otherCase;  // the launcher is started through its folder spelled in the other case
    bool isCopy;
  };
  for (const Case& c : {Case{"same name, other folder", true, L"normal", false, false, false},
                        Case{"same name, other folder, no window", true, L"none", false, false, false},
                        Case{"same name, other folder, no window, forcerun", true, L"none", true, false, false},
                        Case{"folder spelled in the other case", false, L"normal", false, true, true}}) {
    SCOPED_TRACE(c.name);
    Installation install;
    install.WriteConfig();
    rig::RunningClient running =
        c.elsewhere ? install.StartClientAs(install.progName(), c.window, true) : install.StartClient(c.window, true);
    const fs::path launcher = c.otherCase ? OtherCase(install.folder()) / L"Portico.exe" : install.launcher();
    const std::wstring forceRun = c.forceRun ? L"forcerun:" : L"";
    LauncherRun run = RunAnsweringAnyBox(launcher, forceRun + Link(install, L"open?id=7"), c.isCopy);
    EXPECT_EQ(run.box.has_value(), c.isCopy);
    EXPECT_EQ(run.result.exitCode, 0u);
    EXPECT_EQ(Installation::ExitCodeOf(running), static_cast<DWORD>(STILL_ACTIVE));
    if (c.isCopy) {
      ASSERT_TRUE(install.WaitForMessages(1));
    } else {
      // The link started the target itself; the other program got nothing.
      ASSERT_TRUE(install.WaitForStarts(1));
      EXPECT_EQ(install.Record().starts.at(0).arguments, std::vector<std::string>{"open?id=7"});
      const std::wstring record = install.RecordFile().filename().wstring();
      EXPECT_EQ(rig::ReadFile(install.folder() / L"other" / record).find("pipe message"), std::string::npos);
    }
  }
}

// OK pressed once the client has ended, or while it is on its way out: its window and pipe gone,
// the process still alive for a while.
TEST(HandOff, ALinkClickedWhileTheClientClosesStartsANewOne) {
  struct Case {
    const char* name;
    const char* settings;
    bool lingers;
  };
  for (const Case& c : {Case{"after it ended", "", false},
                        Case{"while it lingers with a hidden window", "linger=2500\nhelperwindow=1\n", true}}) {
    SCOPED_TRACE(c.name);
    Installation install;
    install.WriteConfig();
    install.WriteClientSettings(c.settings);
    rig::RunningClient closing = install.StartClient(L"normal", true);
    rig::Debuggee launcher(install.launcher(), Link(install, L"open?id=7"));
    auto box = rig::WaitForMessageBox(launcher.pid());
    ASSERT_TRUE(box.has_value());
    PostMessageW(closing.window, WM_CLOSE, 0, 0);
    if (c.lingers) {
      for (int i = 0; i < 200 && IsWindow(closing.window); ++i) Sleep(25);
      ASSERT_EQ(Installation::ExitCodeOf(closing), static_cast<DWORD>(STILL_ACTIVE));
    } else {
      ASSERT_EQ(Installation::ExitCodeOf(closing, 5000), 0u);
    }
    rig::PressButton(*box, IDOK);  // may have gone with its owner
    EXPECT_EQ(launcher.Wait().exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(2));
    EXPECT_EQ(install.Record().starts.at(1).arguments, std::vector<std::string>{"open?id=7"});
  }
}

// A copy that only the retry with SeDebugPrivilege can open (every open of it before is made to
// fail): nothing held its id until then, so what the retry opened is checked as a find is.
TEST(RunningCopy, ACopyOpenedOnlyByTheRetryIsCheckedThroughThatHandle) {
  struct Case {
    const char* name;
    bool elsewhere;
  };
  for (const Case& c : {Case{"in the launcher's folder", false}, Case{"same name, other folder", true}}) {
    SCOPED_TRACE(c.name);
    Installation install;
    install.WriteConfig();
    rig::RunningClient running =
        c.elsewhere ? install.StartClientAs(install.progName(), L"none") : install.StartClient(L"none", false);
    int endOpens = 0;
    rig::DebuggeeOptions options;
    options.breakOn = {"OpenProcess"};
    options.onBreak = [&](const rig::BreakpointHit& hit) {
      if (hit.context->R8 != running.pid) return rig::HitAction::Continue;
      if ((hit.context->Rcx & PROCESS_TERMINATE) && ++endOpens == 2) return rig::HitAction::Continue;
      hit.returnValue = 0;
      return rig::HitAction::Return;
    };
    EXPECT_EQ(install.RunLauncher(Link(install, L"open?id=7"), options).exitCode, 0u);
    EXPECT_EQ(endOpens, 2);
    EXPECT_EQ(Installation::ExitCodeOf(running, c.elsewhere ? 0 : 5000), c.elsewhere ? STILL_ACTIVE : 0u);
  }
}

std::wstring WideTextAt(HANDLE process, DWORD64 address) {
  wchar_t text[300] = {};
  SIZE_T read = 0;
  ReadProcessMemory(process, reinterpret_cast<void*>(address), text, sizeof(text) - sizeof(wchar_t), &read);
  return text;
}

// The pipe taken by another client again right after the launcher's wait for it ended. Each
// holder lets go a moment after the launcher, stopped at its open of the pipe, meets it.
TEST(HandOff, APipeBusyAgainAfterTheWaitIsWaitedForAgain) {
  Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", true);
  const std::wstring path = L"\\\\.\\pipe\\" + install.pipe();
  auto connect = [&] {
    return portico::FileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  std::vector<portico::FileHandle> holders;
  holders.reserve(2);  // the release threads hold pointers into it
  holders.push_back(connect());
  ASSERT_TRUE(holders.back());
  std::vector<std::thread> releases;
  int opens = 0;
  rig::DebuggeeOptions options;
  options.breakOn = {"CreateFileW"};
  options.onBreak = [&](const rig::BreakpointHit& hit) {
    if (_wcsicmp(WideTextAt(hit.process, hit.context->Rcx).c_str(), path.c_str()) != 0) return rig::HitAction::Continue;
    if (++opens == 2) holders.push_back(connect());
    if (opens <= 2) {
      releases.emplace_back([holder = &holders.back()] {
        Sleep(300);
        holder->reset();
      });
    }
    return rig::HitAction::Continue;
  };
  rig::Debuggee launcher(install.launcher(), Link(install, L"later"), options);
  auto box = rig::WaitForMessageBox(launcher.pid());
  ASSERT_TRUE(box.has_value());
  rig::PressButton(*box, IDOK);
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  for (std::thread& release : releases) release.join();
  EXPECT_EQ(opens, 3);
  ASSERT_TRUE(install.WaitForMessages(3));
  EXPECT_EQ(install.Record().pipeMessages.back(), std::string("later\"\0", 7));
}

TEST(HandOffBox, FalseBringsTheCopyUpWithoutTheBoxOnEitherRoad) {
  struct Case {
    const char* setting;
    bool link;
    bool box;
  };
  for (const Case& c :
       {Case{"<HandOffBox>false</HandOffBox>", false, false}, Case{"<HandOffBox>false</HandOffBox>", true, false},
        Case{"<HandOffBox>False</HandOffBox>", true, true}}) {
    SCOPED_TRACE(std::string(c.setting) + (c.link ? " link" : " no link"));
    Installation install;
    install.WriteConfig(c.setting);
    rig::RunningClient running = install.StartClient(L"minimized", true);
    LauncherRun run = RunAnsweringAnyBox(install.launcher(), c.link ? Link(install, L"open?id=7") : L"", c.box);
    EXPECT_EQ(run.box.has_value(), c.box);
    EXPECT_EQ(run.result.exitCode, 0u);
    // Restored when the copy next pumps its messages.
    for (int i = 0; i < 100 && IsIconic(running.window); ++i) Sleep(50);
    EXPECT_FALSE(IsIconic(running.window));
    if (c.link) {
      ASSERT_TRUE(install.WaitForMessages(1));
      EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("open?id=7\"\0", 11));
    }
    EXPECT_EQ(install.Record().starts.size(), 1u);
  }
}

}  // namespace
