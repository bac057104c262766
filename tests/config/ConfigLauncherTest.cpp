// The configuration's edges through the real launcher: what it reads, seen in the box it shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "DialogHelper.h"
#include "Installation.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kLoadFailureText = L"启动器加载配置文件失败";

struct BoxedRun {
  std::optional<rig::MessageBoxInfo> box;
  rig::DebuggeeResult result;
};

// Runs the launcher with no command line and answers the box it is expected to show.
BoxedRun RunAnsweringBox(const fs::path& launcher) {
  rig::Debuggee run(launcher, L"");
  BoxedRun boxed;
  boxed.box = rig::WaitForMessageBox(run.pid());
  if (boxed.box) rig::PressButton(*boxed.box, IDOK);
  boxed.result = run.Wait();
  return boxed;
}

// Ends the copy of the target a run started.
struct StartedCopy {
  explicit StartedCopy(DWORD id) : pid(id) {}
  ~StartedCopy() {
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
      TerminateProcess(process, 0);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }
  DWORD pid;
};

// A bare name of 128 characters does not fit the language key's room: the launcher reads no key,
// neither the product's own nor SOFTWARE\Language, where such a name once led, and stays Chinese.
// One character less, the product's key is read. The "already running" box shows the language.
TEST(ConfigLauncher, BareNameOf128CharactersReadsNoLanguageKey) {
  rig::ScratchRegistryKey software(HKEY_CURRENT_USER, L"SOFTWARE\\Language");
  ASSERT_TRUE(software.SetString(L"", L"en-US"));
  struct Case {
    size_t bareLength;
    bool english;
  };
  for (const Case& c : {Case{127, true}, Case{128, false}}) {
    SCOPED_TRACE(c.bareLength);
    rig::Installation install;
    std::wstring bare = rig::UniqueName(L"Prog");
    bare.append(c.bareLength - bare.size(), L'n');
    const std::wstring progName = bare + L".exe";
    rig::ScratchRegistryKey product(HKEY_CURRENT_USER, L"SOFTWARE\\" + bare);
    rig::ScratchRegistryKey language(HKEY_CURRENT_USER, L"SOFTWARE\\" + bare + L"\\Language");
    ASSERT_TRUE(language.SetString(L"", L"en-US"));
    install.WriteRawConfig("<Product><ProgName>" + rig::ToUtf8(progName) + "</ProgName><Protocol>" +
                           rig::ToUtf8(install.scheme()) + "</Protocol><Pipe>" + rig::ToUtf8(install.pipe()) +
                           "</Pipe></Product>");
    fs::copy_file(rig::BinaryFolder() / L"SampleClient.exe", install.folder() / progName);

    EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
    const DWORD started = rig::WaitForProcess(progName);
    ASSERT_NE(started, 0u);
    StartedCopy copy(started);
    // The copy counts as running for the next start once its window is up.
    for (int waited = 0; !rig::VisibleWindowOf(started) && waited < 15000; waited += 50) Sleep(50);
    ASSERT_NE(rig::VisibleWindowOf(started), nullptr);
    BoxedRun run = RunAnsweringBox(install.launcher());
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->caption, c.english ? L"Prompt" : L"提示");
    EXPECT_EQ(run.box->text, c.english ? L"Another program is already in progress!" : L"检测到程序已经在运行!");
    EXPECT_EQ(run.result.exitCode, 0u);
  }
}

// The launcher's path has 255 characters, its ProductConfig.xml's 261: the file is there but its
// path does not fit, which is the load-failure box; the file in the folder above, whose program
// lies beside the launcher, is not read, so nothing starts.
TEST(ConfigLauncher, FileBesideWithA261CharacterPathIsALoadFailureAndTheOneAboveIsNotRead) {
  rig::ScratchFolder scratch;
  fs::path above = scratch.path();
  while (above.wstring().size() < 230) above /= L"d";
  above /= std::wstring(240 - above.wstring().size(), L'a');
  const fs::path folder = above / L"b";
  ASSERT_EQ(folder.wstring().size(), 243u);
  const std::wstring aboveProgram = rig::UniqueName(L"Above") + L".exe";
  rig::WriteFile(above / L"ProductConfig.xml",
                 "<Product><ProgName>" + rig::ToUtf8(aboveProgram) + "</ProgName></Product>");
  rig::WriteFile(folder / L"ProductConfig.xml", "<Product><ProgName>Beside.exe</ProgName></Product>");
  fs::copy_file(rig::LauncherUnderTest(), folder / L"Portico.exe");
  fs::copy_file(rig::BinaryFolder() / L"SampleClient.exe", folder / aboveProgram);

  BoxedRun run = RunAnsweringBox(folder / L"Portico.exe");
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->text, kLoadFailureText);
  EXPECT_EQ(run.box->caption, L"错误");
  EXPECT_EQ(run.result.exitCode, 0u);
  const DWORD started = rig::WaitForProcess(aboveProgram, 2000);
  StartedCopy copy(started);
  EXPECT_EQ(started, 0u);
}

}  // namespace
