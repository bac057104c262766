// The launcher as its own process in a scratch installation, with SampleClient as the target:
// the start road, the quiet road and the hand-off road. The roads themselves run for both launchers.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <thread>

#include "DialogHelper.h"
#include "Installation.h"
#include "Launchers.h"
#include "WinHandles.h"

namespace {

using rig::Installation;

const std::wstring kChineseText = L"检测到程序已经在运行!";
const std::wstring kChineseCaption = L"提示";

std::wstring Link(const Installation& install, const std::wstring& payload) {
  return L"\"" + install.scheme() + L"://" + payload + L"\"";
}

// Runs the launcher while answering the one box it is expected to show.
struct BoxedRun {
  std::optional<rig::MessageBoxInfo> box;
  rig::DebuggeeResult result;
};
BoxedRun RunAndAnswerBox(Installation& install, const std::wstring& commandLine) {
  rig::Debuggee launcher(install.launcher(), commandLine);
  BoxedRun run;
  run.box = rig::WaitForMessageBox(launcher.pid());
  if (run.box) rig::PressButton(*run.box, IDOK);
  run.result = launcher.Wait();
  return run;
}

std::string LogLine(const std::string& text) {
  return "\\[ZIR\\]\\[I\\]\\[\\d+-\\d+-\\d+ \\d+:\\d+:\\d+\\] " + text + "\n";
}

// The text value `name` of root\key with its exact stored size, or nothing when it is missing.
std::optional<std::pair<std::wstring, DWORD>> StoredText(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t text[1024] = {};
  DWORD size = sizeof(text);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return std::nullopt;
  return std::make_pair(std::wstring(text), size);
}

// The prefix's cmd.exe, to run a command exactly as a reader types it.
std::filesystem::path CommandProcessor() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return std::filesystem::path(system) / L"cmd.exe";
}

std::pair<std::wstring, DWORD> ExactText(const std::wstring& text) {
  return {text, static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))};
}

// The roads that differ between the machine-wide and the per-user launcher, run for each of them.
class Road : public testing::TestWithParam<rig::LauncherKind> {};
INSTANTIATE_TEST_SUITE_P(Launchers, Road, testing::ValuesIn(rig::kLaunchers), rig::LauncherKindName());

TEST_P(Road, StartWorkedExampleStartsTheTargetFromTheLauncherFolder) {
  const rig::LauncherKind& kind = GetParam();
  Installation install(L"install", kind.file);
  install.WriteConfig();
  rig::DebuggeeResult result = install.RunLauncher(Link(install, L"open?id=7"));
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(result.crashCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  rig::ClientStart start = install.Record().starts.at(0);
  EXPECT_EQ(start.arguments, std::vector<std::string>{"open?id=7"});
  // The parameters are the payload in one pair of quotes, exactly.
  const std::string tail = " \"open?id=7\"";
  ASSERT_GE(start.commandLine.size(), tail.size());
  EXPECT_EQ(start.commandLine.substr(start.commandLine.size() - tail.size()), tail);
  EXPECT_EQ(rig::FromUtf8(start.workingFolder), install.folder().wstring());
  // Both records, on standard error and as the same bytes on the debugger output.
  const std::string prog = rig::ToUtf8(install.progName());
  std::regex expected(LogLine("class path: " + std::regex_replace(prog, std::regex("\\."), "\\.")) +
                      LogLine("par: \"open\\?id=7\""));
  EXPECT_TRUE(std::regex_match(result.standardError, expected)) << result.standardError;
  std::string debugText;
  for (const std::string& piece : result.debugStrings) debugText += piece;
  EXPECT_EQ(debugText, result.standardError);

  // The scheme, registered where this launcher keeps it and nowhere else.
  const std::wstring scheme = kind.classes.SchemeKey(install.scheme());
  EXPECT_EQ(StoredText(kind.classes.root, scheme + L"\\shell\\open\\command", L""),
            ExactText(L"\"" + install.launcher().wstring() + L"\" \"%1\""));
  EXPECT_EQ(StoredText(kind.classes.root, scheme, L"URL Protocol"), ExactText(L""));
  EXPECT_EQ(StoredText(kind.classes.root, scheme, L""), ExactText(L"URL:" + install.scheme()));
  portico::RegKey other;
  EXPECT_EQ(RegOpenKeyExW(kind.otherClasses.root, kind.otherClasses.SchemeKey(install.scheme()).c_str(), 0, KEY_READ,
                          other.put()),
            ERROR_FILE_NOT_FOUND);
}

TEST(StartRoad, CtrlAltAddsIsAdminThenEachEnabledArgumentOnce) {
  Installation install;
  install.WriteConfig(
      "<Args><Item Name=\"IsAdmin\" Value=\"true\"/><Item Name=\"debug\" Value=\"true\"/>"
      "<Item Name=\"debug\" Value=\"true\"/><Item Name=\"id=7\" Value=\"true\"/>"
      "<Item Name=\"--off\" Value=\"True\"/><Item Name=\"--late\" Value=\"true\"/></Args>");
  rig::DebuggeeResult result;
  {
    rig::HeldKeys keys({VK_CONTROL, VK_MENU});
    result = install.RunLauncher(Link(install, L"open?id=7"));
  }
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(install.Record().starts.at(0).arguments,
            (std::vector<std::string>{"open?id=7", "IsAdmin", "debug", "id=7", "--late"}));
  // The log shows the parameters before the hint and the extra arguments were added.
  EXPECT_NE(result.standardError.find("par: \"open?id=7\"\n"), std::string::npos) << result.standardError;
  EXPECT_EQ(result.standardError.find("IsAdmin"), std::string::npos);
}

TEST(StartRoad, CtrlOrAltAloneAddsNoHint) {
  Installation install;
  install.WriteConfig();
  for (WORD key : {VK_CONTROL, VK_MENU}) {
    rig::HeldKeys held({key});
    install.RunLauncher(Link(install, L"x"));
    ASSERT_TRUE(install.WaitForStarts(key == VK_CONTROL ? 1 : 2));
    install.EndClients();
  }
  ASSERT_TRUE(install.WaitForStarts(2));
  for (const rig::ClientStart& start : install.Record().starts) {
    EXPECT_EQ(start.arguments, std::vector<std::string>{"x"});
  }
}

TEST(StartRoad, WithoutTheSchemeTheCommandLineIsPassedAsItStands) {
  Installation install;
  install.WriteConfig();
  rig::DebuggeeResult result = install.RunLauncher(L"-x \"a b\"");
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(install.Record().starts.at(0).arguments, (std::vector<std::string>{"-x", "a b"}));
  EXPECT_NE(result.standardError.find("par: -x \"a b\"\n"), std::string::npos) << result.standardError;
}

TEST(StartRoad, CraftedLinksReachTheTargetAsExactlyOneArgument) {
  Installation install;
  install.WriteConfig();
  const std::wstring scheme = install.scheme();
  struct Case {
    std::wstring commandLine;
    std::string argument;
  } cases[] = {
      {L"\"" + scheme + L"://x\" IsAdmin \"y\"", "x%22 IsAdmin %22y"},
      {L"\"" + scheme + L"://x\\\"", "x\\"},
      {scheme + L"://open?id=7", "open?id=7"},
      {L"forcerun:" + scheme + L"://a\"b", "a%22b"},
  };
  size_t n = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(install.RunLauncher(c.commandLine).exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(++n));
    EXPECT_EQ(install.Record().starts.back().arguments, std::vector<std::string>{c.argument})
        << rig::ToUtf8(c.commandLine);
    install.EndClients();
  }
}

TEST(StartRoad, EmptyProgNameStartsNothing) {
  Installation install;
  install.WriteRawConfig("<Product><Protocol>x</Protocol></Product>");
  rig::DebuggeeResult result = install.RunLauncher(L"\"x://y\"");
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(result.crashCode, 0u);
  EXPECT_FALSE(install.WaitForStarts(1, 1500));
}

TEST(ForceRun, EndsEveryRunningCopyWithoutABoxAndStarts) {
  Installation install;
  install.WriteConfig();
  rig::RunningClient first = install.StartClient(L"normal", false);
  rig::RunningClient second = install.StartClient(L"normal", false);
  rig::Debuggee launcher(install.launcher(), L"forcerun:" + Link(install, L"open?id=7"));
  EXPECT_TRUE(rig::NoMessageBoxFor(launcher.pid(), 1000));
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  EXPECT_EQ(Installation::ExitCodeOf(first, 5000), 0u);
  EXPECT_EQ(Installation::ExitCodeOf(second, 5000), 0u);
  ASSERT_TRUE(install.WaitForStarts(3));
  EXPECT_EQ(install.Record().starts.back().arguments, std::vector<std::string>{"open?id=7"});
}

TEST(ForceRun, OtherLetterCaseIsOrdinaryText) {
  Installation install;
  install.WriteConfig();
  rig::RunningClient running = install.StartClient(L"normal", false);
  BoxedRun run = RunAndAnswerBox(install, L"FORCERUN:x");
  EXPECT_TRUE(run.box.has_value());
  EXPECT_EQ(Installation::ExitCodeOf(running), static_cast<DWORD>(STILL_ACTIVE));
}

TEST(InstanceControl, CopiesWithoutAWindowAreEndedAndTheStartGoesAhead) {
  Installation install;
  install.WriteConfig();
  rig::RunningClient hidden = install.StartClient(L"none", false);
  rig::Debuggee launcher(install.launcher(), Link(install, L"a"));
  EXPECT_TRUE(rig::NoMessageBoxFor(launcher.pid(), 1000));
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  EXPECT_EQ(Installation::ExitCodeOf(hidden, 5000), 0u);
  ASSERT_TRUE(install.WaitForStarts(2));
}

TEST(InstanceControl, AWindowBehindAWindowlessCopyIsActivatedAndNeitherIsEnded) {
  Installation install;
  install.WriteConfig();
  rig::RunningClient hidden = install.StartClient(L"none", false);
  rig::RunningClient shown = install.StartClient(L"normal", false);
  BoxedRun run = RunAndAnswerBox(install, L"");
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->owner, shown.window);
  EXPECT_EQ(run.result.exitCode, 0u);
  EXPECT_EQ(Installation::ExitCodeOf(hidden), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Installation::ExitCodeOf(shown), static_cast<DWORD>(STILL_ACTIVE));
}

TEST(InstanceControl, TheVisibleWindowIsBroughtUpNotAHiddenHelperWindow) {
  Installation install;
  install.WriteConfig();
  install.WriteClientSettings("helperwindow=1\n");
  install.StartClient(L"normal", false);
  BoxedRun run = RunAndAnswerBox(install, L"");
  ASSERT_TRUE(run.box.has_value());
  const rig::ClientStart start = install.Record().starts.at(0);
  ASSERT_NE(start.hiddenWindow, nullptr);
  EXPECT_EQ(run.box->owner, start.visibleWindow);
}

TEST(InstanceControl, AHungCopyGetsAnUnownedBoxAndItsLinkAllTheSame) {
  Installation install;
  install.WriteConfig("<LogFile>portico.log</LogFile>");
  install.WriteClientSettings("hang=1\n");
  const rig::RunningClient hung = install.StartClient(L"normal", true);
  // The system counts a window as hung once it has not pumped its messages for a while.
  ASSERT_TRUE(install.Record().starts.at(0).hanging);
  Sleep(6000);
  BoxedRun run = RunAndAnswerBox(install, Link(install, L"open?id=7"));
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->owner, nullptr);
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("open?id=7\"\0", 11));
  // The support desk reads why the box had no owner.
  EXPECT_NE(rig::ReadFile(install.folder() / L"portico.log")
                .find("running: copy " + std::to_string(hung.pid) + " of " + rig::ToUtf8(install.progName()) +
                      " has a window: brought up, not responding (hung)\n"),
            std::string::npos);
}

TEST(InstanceControl, ImageNamesDifferingInCaseAreNotCopies) {
  Installation install;
  install.WriteConfig();
  std::wstring upper = install.progName();
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  rig::RunningClient other = install.StartClientAs(upper, L"normal");
  rig::Debuggee launcher(install.launcher(), Link(install, L"a"));
  EXPECT_TRUE(rig::NoMessageBoxFor(launcher.pid(), 1000));
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(Installation::ExitCodeOf(other), static_cast<DWORD>(STILL_ACTIVE));
}

TEST_P(Road, QuietMinimisedCopyIsRestoredAndTheChineseBoxIsOwnedByIt) {
  Installation install(L"install", GetParam().file);
  install.WriteConfig();
  rig::RunningClient running = install.StartClient(L"minimized", true);
  ASSERT_TRUE(IsIconic(running.window));
  BoxedRun run = RunAndAnswerBox(install, L"");
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->caption, kChineseCaption);
  EXPECT_EQ(run.box->text, kChineseText);
  EXPECT_EQ(run.box->owner, running.window);
  ASSERT_EQ(run.box->buttons.size(), 1u);
  EXPECT_EQ(run.box->buttons[0].id, IDOK);
  EXPECT_EQ(run.result.exitCode, 0u);
  EXPECT_FALSE(IsIconic(running.window));
  EXPECT_EQ(Installation::ExitCodeOf(running), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(install.Record().starts.size(), 1u);
  EXPECT_TRUE(install.Record().pipeMessages.empty());
  EXPECT_TRUE(run.result.standardError.empty());
}

TEST(QuietRoad, EnglishLanguageValueGivesTheEnglishBox) {
  Installation install;
  install.WriteConfig();
  install.SetLanguage(L"en-US");
  install.StartClient(L"normal", false);
  BoxedRun run = RunAndAnswerBox(install, L"no link here");
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->caption, L"Prompt");
  EXPECT_EQ(run.box->text, L"Another program is already in progress!");
  EXPECT_EQ(run.result.exitCode, 0u);
}

// The Language setting decides over the registry value, by the registry's own rule; without it the
// registry value decides. The registry rows write the value with the reg add line that
// docs/ProductConfig.md gives, run through cmd as a reader would.
TEST(QuietRoad, LanguageSettingOrTheRegAddLineOfTheDocsChoosesTheBox) {
  struct Case {
    const char* setting;
    const wchar_t* registry;  // null: no value
    bool english;
  };
  for (const Case& c :
       {Case{"<Language>en-US</Language>", nullptr, true}, Case{"<Language>en-US</Language>", L"zh-CN", true},
        Case{"<Language>zh-CN</Language>", L"en-US", false},
        Case{"<Language>English</Language>", L"en-US", false},  // neither tag: Chinese
        Case{"", L"en-US", true}}) {
    SCOPED_TRACE(std::string(c.setting) + (c.registry ? " registry " + rig::ToUtf8(c.registry) : ""));
    Installation install;
    install.WriteConfig(c.setting);
    std::unique_ptr<rig::ScratchRegistryKey> product;
    if (c.registry) {
      const std::wstring bare = install.progName().substr(0, install.progName().size() - 4);
      product = std::make_unique<rig::ScratchRegistryKey>(HKEY_CURRENT_USER, L"SOFTWARE\\" + bare);
      const std::wstring regAdd = L"reg add \"HKCU\\SOFTWARE\\" + bare + L"\\Language\" /ve /d " + c.registry + L" /f";
      ASSERT_EQ(rig::RunDebuggee(CommandProcessor(), L"/c " + regAdd).exitCode, 0u) << rig::ToUtf8(regAdd);
    }
    install.StartClient(L"normal", false);
    BoxedRun run = RunAndAnswerBox(install, L"");
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->caption, c.english ? L"Prompt" : kChineseCaption);
    EXPECT_EQ(run.box->text, c.english ? L"Another program is already in progress!" : kChineseText);
    EXPECT_EQ(run.result.exitCode, 0u);
  }
}

// The log-capture commands of docs/Troubleshooting.md, run through cmd: from a .bat file (a % of the
// link doubled) and as typed at the prompt, with the launcher renamed as a vendor may. The redirection
// goes between the program and the link: written after the link, cmd keeps the blank before it in the
// command line, and the link's closing quote is no longer its last character (Wine's cmd, unlike
// Windows', takes no redirection before the program).
TEST(StartRoad, TroubleshootingCommandsOfTheDocsRunAsWrittenInCmd) {
  struct Case {
    const char* form;
    bool batch;
  };
  for (const Case& c : {Case{"batch file", true}, Case{"prompt", false}}) {
    SCOPED_TRACE(c.form);
    Installation install;
    install.WriteConfig();
    const std::wstring renamed = L"DemoLauncher.exe";
    std::filesystem::copy_file(install.launcher(), install.folder() / renamed);
    const std::wstring link = install.scheme() + L"://open?id=14&name=a%" + (c.batch ? L"%" : L"") + L"20b";
    const std::wstring command = renamed + L" 2>launcher.log \"" + link + L"\"";
    rig::DebuggeeOptions inFolder;
    inFolder.workingFolder = install.folder();
    std::wstring arguments = L"/c " + command;
    if (c.batch) {
      rig::WriteFile(install.folder() / L"capture.bat", "@echo off\r\n" + rig::ToUtf8(command) + "\r\n");
      arguments = L"/c capture.bat";
    }
    ASSERT_EQ(rig::RunDebuggee(CommandProcessor(), arguments, inFolder).exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(1));
    EXPECT_EQ(install.Record().starts.at(0).arguments, std::vector<std::string>{"open?id=14&name=a%20b"});
    const std::string log = rig::ReadFile(install.folder() / L"launcher.log");
    EXPECT_TRUE(
        std::regex_match(log, std::regex(LogLine("class path: .*") + LogLine("par: \"open\\?id=14&name=a%20b\""))))
        << log;
    // The registered command names the launcher as it is now called.
    EXPECT_EQ(StoredText(HKEY_CLASSES_ROOT, install.scheme() + L"\\shell\\open\\command", L""),
              ExactText(L"\"" + (install.folder() / renamed).wstring() + L"\" \"%1\""));
  }
}

TEST_P(Road, HandOffPayloadArrivesAsAnsiTextWithOneNulAfterTheBox) {
  Installation install(L"install", GetParam().file);
  install.WriteConfig();
  install.StartClient(L"normal", true);
  rig::Debuggee launcher(install.launcher(), Link(install, L"open?id=7&name=caf\u00e9"));
  auto box = rig::WaitForMessageBox(launcher.pid());
  ASSERT_TRUE(box.has_value());
  // Nothing reaches the pipe while the box is up.
  EXPECT_FALSE(install.WaitForMessages(1, 500));
  rig::PressButton(*box, IDOK);
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(1));
  // Code page 1252 under LANG=en_US: é is one byte, 0xE9; the closing quote is kept.
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("open?id=7&name=caf\xE9\"\0", 21));
  EXPECT_EQ(install.Record().starts.size(), 1u);
}

TEST(HandOff, LinkEndingRightAfterTheSeparatorSendsASingleNul) {
  Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", true);
  BoxedRun run = RunAndAnswerBox(install, install.scheme() + L"://");
  EXPECT_EQ(run.result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string(1, '\0'));
}

TEST(HandOff, NoPipeServerGivesExitCodeOne) {
  Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", false);
  BoxedRun run = RunAndAnswerBox(install, Link(install, L"a"));
  EXPECT_TRUE(run.box.has_value());
  EXPECT_EQ(run.result.exitCode, 1u);
}

TEST(HandOff, OversizedPayloadIsNotWritten) {
  Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", true);
  // 10239 bytes and the NUL fit; one more does not.
  BoxedRun fits = RunAndAnswerBox(install, install.scheme() + L"://" + std::wstring(10239, L'a'));
  EXPECT_EQ(fits.result.exitCode, 0u);
  BoxedRun tooLong = RunAndAnswerBox(install, install.scheme() + L"://" + std::wstring(10240, L'a'));
  EXPECT_EQ(tooLong.result.exitCode, 1u);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_FALSE(install.WaitForMessages(2, 500));
  EXPECT_EQ(install.Record().pipeMessages.at(0).size(), 10240u);
}

TEST(HandOff, PipeNameLeavingThePipeNamespaceIsRefused) {
  Installation install;
  install.WriteConfig();
  // Written here by hand: a name that would reach a file beside the launcher.
  std::string xml = "<Product><ProgName>" + rig::ToUtf8(install.progName()) + "</ProgName><Protocol>" +
                    rig::ToUtf8(install.scheme()) + "</Protocol><Pipe>..\\..\\C:\\x</Pipe></Product>";
  install.WriteRawConfig(xml);
  install.StartClient(L"normal", false);
  BoxedRun run = RunAndAnswerBox(install, Link(install, L"a"));
  EXPECT_EQ(run.result.exitCode, 1u);
}

TEST(HandOff, LinkWithTheSchemeInCapitalsIsHandedOff) {
  Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", true);
  std::wstring upper = install.scheme();
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  BoxedRun run = RunAndAnswerBox(install, L"\"" + upper + L"://Open?ID=9\"");
  EXPECT_EQ(run.result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("Open?ID=9\"\0", 11));
}

TEST(HandOff, APipeServedByAnotherProgramGetsNothing) {
  Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", false);  // the copy brought up serves no pipe; this test does
  const std::wstring path = L"\\\\.\\pipe\\" + install.pipe();
  portico::PipeHandle pipe(
      CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr));
  ASSERT_TRUE(pipe);
  BoxedRun run = RunAndAnswerBox(install, Link(install, L"open?token=secret"));
  EXPECT_EQ(run.result.exitCode, 1u);
  // The launcher did connect, and wrote nothing before it left.
  EXPECT_FALSE(ConnectNamedPipe(pipe.get(), nullptr));
  EXPECT_TRUE(GetLastError() == ERROR_NO_DATA || GetLastError() == ERROR_PIPE_CONNECTED) << GetLastError();
  char byte = 0;
  DWORD read = 0;
  EXPECT_FALSE(ReadFile(pipe.get(), &byte, 1, &read, nullptr));
  EXPECT_EQ(read, 0u);
}

TEST(HandOff, AServerThatNeverReadsCannotHoldTheLauncher) {
  Installation install;
  install.WriteConfig();
  install.WriteClientSettings("pipestall=1\n");
  install.StartClient(L"normal", true);
  BoxedRun run = RunAndAnswerBox(install, Link(install, L"open?id=7"));
  ASSERT_TRUE(run.box.has_value());
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.exitCode, 1u);
}

// A pipe server of the test's own with one instance, held busy by a first client.
TEST(HandOff, BusyPipeIsWaitedForOnce) {
  Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", true);
  const std::wstring path = L"\\\\.\\pipe\\" + install.pipe();
  HANDLE holder = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  rig::Debuggee launcher(install.launcher(), Link(install, L"later"));
  auto box = rig::WaitForMessageBox(launcher.pid());
  ASSERT_TRUE(box.has_value());
  rig::PressButton(*box, IDOK);
  // Let the launcher meet the busy pipe, then free it well within its wait.
  Sleep(700);
  CloseHandle(holder);
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(2));
  EXPECT_EQ(install.Record().pipeMessages.at(1), std::string("later\"\0", 7));
}

}  // namespace
