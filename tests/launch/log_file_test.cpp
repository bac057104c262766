// The diagnostic log file, end to end: the launcher with LogFile set, on each road, with the file's
// path in its kinds, unusable, and shared by launchers started together.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <regex>

#include "DialogHelper.h"
#include "Host.h"
#include "Installation.h"
#include "Launchers.h"
#include "WinHandles.h"
#include "ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using rig::Installation;

const std::regex kHeader(R"(\[ZIR\]\[I\]\[\d+-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2}\] )");

std::wstring Link(const Installation& install, const std::wstring& payload) {
  return L"\"" + install.scheme() + L"://" + payload + L"\"";
}

std::string LogFileSetting(const std::wstring& path) { return "<LogFile>" + rig::ToUtf8(path) + "</LogFile>"; }

// The texts behind the headers; a line out of the line format (torn, or without its line feed)
// fails the test.
std::vector<std::string> Records(const std::string& file) {
  std::vector<std::string> records;
  size_t at = 0;
  while (at < file.size()) {
    const size_t end = file.find('\n', at);
    const std::string line = file.substr(at, end == std::string::npos ? std::string::npos : end - at);
    std::smatch header;
    EXPECT_TRUE(end != std::string::npos && std::regex_search(line, header, kHeader) && header.position(0) == 0)
        << "not a whole record: " << line;
    records.push_back(header.empty() ? line : header.suffix().str());
    at = end == std::string::npos ? file.size() : end + 1;
  }
  return records;
}

std::string WithoutTimes(const std::string& text) { return std::regex_replace(text, kHeader, "[ZIR][I][-] "); }

std::string DebugText(const rig::DebuggeeResult& result) {
  std::string text;
  for (const std::string& piece : result.debugStrings) text += piece;
  return text;
}

// The launcher run while the box it is expected to show is answered.
rig::DebuggeeResult RunPastTheBox(Installation& install, const std::wstring& commandLine) {
  rig::Debuggee launcher(install.launcher(), commandLine);
  if (auto box = rig::WaitForMessageBox(launcher.pid())) rig::PressButton(*box, IDOK);
  return launcher.Wait();
}

ziptest::Entry File(const std::string& name, const std::string& data) {
  ziptest::Entry entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

class LogFileRoad : public testing::TestWithParam<rig::LauncherKind> {};
INSTANTIATE_TEST_SUITE_P(Launchers, LogFileRoad, testing::ValuesIn(rig::kLaunchers), rig::LauncherKindName());

TEST_P(LogFileRoad, StartRecordsEachStepInOrderWithTheQueryMasked) {
  // A '#' in a path of the launcher's own records is no link: it stays.
  Installation install(L"install #2", GetParam().file);
  const std::string prog = rig::ToUtf8(install.progName());
  fs::create_directories(install.folder() / L"logs");
  install.WriteConfig(LogFileSetting(L"logs\\portico.log"));
  rig::WriteFile(install.folder() / L"temp" / L"update.td0", "leftover");
  rig::WriteFile(install.folder() / L"temp" / L"update.zip", ziptest::Build({File("data/notes.txt", "version 2")}));
  const std::wstring link = Link(install, L"open?id=7&token=S3CRET#frag=F4G");

  const rig::DebuggeeResult withFile = install.RunLauncher(link);
  EXPECT_EQ(withFile.exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  const std::string file = rig::ReadFile(install.folder() / L"logs" / L"portico.log");
  EXPECT_EQ(file.find("S3CRET"), std::string::npos) << file;
  EXPECT_EQ(file.find("F4G"), std::string::npos) << file;
  const std::vector<std::string> expected = {
      "config: " + rig::ToUtf8(install.folder().wstring()) + "\\ProductConfig.xml, beside the launcher; language zh-CN",
      "running: no copy of " + prog,
      "road: start",
      "registration: written",
      "class path: " + prog,
      "par: \"open?id=*&token=*#frag=*\"",
      "staging: 0 orphans swept; Updater.exe not there (1 attempt); 1 download leftover removed; update.zip moved up",
      "extraction: 1 entry, 1 applied, 0 skipped, 0 failed; update.zip deleted",
      "shortcut: -1 (no old name for this language)",
  };
  std::vector<std::string> records = Records(file);
  ASSERT_EQ(records.size(), expected.size() + 1) << file;
  EXPECT_TRUE(std::regex_match(records.back(), std::regex(R"(start: CreateProcessW gave process \d+ \(started\))")))
      << records.back();
  records.pop_back();
  EXPECT_EQ(records, expected);

  // Standard error and the debugger output carry the designed records, unmasked, as without a file.
  install.EndClients();
  install.WriteConfig();
  const rig::DebuggeeResult withoutFile = install.RunLauncher(link);
  ASSERT_TRUE(install.WaitForStarts(2));
  EXPECT_NE(withFile.standardError.find("par: \"open?id=7&token=S3CRET#frag=F4G\"\n"), std::string::npos);
  EXPECT_EQ(WithoutTimes(withFile.standardError), WithoutTimes(withoutFile.standardError));
  EXPECT_EQ(DebugText(withFile), withFile.standardError);
  EXPECT_EQ(DebugText(withoutFile), withoutFile.standardError);
}

TEST(LogFileRoad, HandOffAndQuietRoadsRecordTheCopyBroughtUp) {
  Installation install;
  install.WriteConfig(LogFileSetting(L"portico.log"));
  install.SetLanguage(L"en-US");
  const rig::RunningClient running = install.StartClient(L"normal", true);
  const std::wstring copy = std::to_wstring(running.pid);

  const rig::DebuggeeResult handOff = RunPastTheBox(install, Link(install, L"open?token=S3CRET"));
  EXPECT_EQ(handOff.exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(1));
  const rig::DebuggeeResult quiet = RunPastTheBox(install, L"");
  EXPECT_EQ(quiet.exitCode, 0u);
  EXPECT_TRUE(handOff.standardError.empty() && quiet.standardError.empty());

  const std::string config =
      "config: " + rig::ToUtf8(install.folder().wstring()) + "\\ProductConfig.xml, beside the launcher; language en-US";
  const std::string broughtUp =
      "running: copy " + rig::ToUtf8(copy) + " of " + rig::ToUtf8(install.progName()) + " has a window: brought up";
  EXPECT_EQ(Records(rig::ReadFile(install.folder() / L"portico.log")),
            (std::vector<std::string>{config, broughtUp, "road: hand-off",
                                      "hand-off: exit code 0 (the link was written to the running copy's pipe)", config,
                                      broughtUp, "road: quiet, no link in the command line"}));
}

TEST(LogFilePlace, RelativeAbsoluteAndVariablePathsAreWrittenUnusableOnesSkipped) {
  Installation install;
  const fs::path folder = install.folder();
  fs::create_directories(folder / L"logs" / L"folder.log");
  // Held by a program that shares no writing. (A read-only file would do on Windows, but Wine run as
  // root, as here, writes it all the same.)
  rig::WriteFile(folder / L"logs" / L"held.log", "kept\n");
  const portico::FileHandle held(CreateFileW((folder / L"logs" / L"held.log").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  struct Case {
    std::wstring setting;
    fs::path written;  // empty: nothing may be written anywhere
  } cases[] = {
      {L"logs\\relative.log", folder / L"logs" / L"relative.log"},
      {(folder / L"logs" / L"absolute.log").wstring(), folder / L"logs" / L"absolute.log"},
      {L"%PORTICO_TEST_LOGS%\\variable.log", folder / L"logs" / L"variable.log"},
      {L"logs\\folder.log", {}},
      {L"logs\\held.log", {}},
      {L"logs\\missing\\file.log", {}},
      {L"logs\\" + std::wstring(250, L'x') + L".log", {}},
      {L"%PORTICO_TEST_LOGS%\\" + std::wstring(230, L'v') + L".log", {}},
  };
  rig::DebuggeeOptions options;
  options.environment = {{L"PORTICO_TEST_LOGS", (folder / L"logs").wstring()}};
  size_t starts = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(rig::ToUtf8(c.setting));
    install.WriteConfig(LogFileSetting(c.setting));
    const rig::DebuggeeResult result = install.RunLauncher(L"-x", options);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.crashCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(++starts));
    EXPECT_TRUE(std::regex_match(WithoutTimes(result.standardError),
                                 std::regex(R"(\[ZIR\]\[I\]\[-\] class path: \S+\n\[ZIR\]\[I\]\[-\] par: -x\n)")))
        << result.standardError;
    if (!c.written.empty()) {
      EXPECT_EQ(Records(rig::ReadFile(c.written)).at(5), "par: -x");
      fs::remove(c.written);
    }
    install.EndClients();
  }
  EXPECT_EQ(rig::ReadFile(folder / L"logs" / L"held.log"), "kept\n");
  EXPECT_TRUE(fs::is_directory(folder / L"logs" / L"folder.log"));
  EXPECT_FALSE(fs::exists(folder / L"logs" / L"missing"));
  // Only the two files of the test are left: nothing else was written.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / L"logs"), fs::directory_iterator()), 2);
}

TEST(LogFilePlace, ALinkAtThePathOrOnItsWayIsNotWrittenThrough) {
  struct Case {
    std::wstring link;     // in the installation folder
    std::string target;    // as the host reads it, relative to the link's folder
    std::wstring setting;  // LogFile
    fs::path outsideFile;  // relative to the folder beside the installation
  } cases[] = {
      {L"portico.log", "../outside/target.log", L"portico.log", L"target.log"},
      {L"logs", "../outside", L"logs\\portico.log", L"portico.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rig::ToUtf8(c.setting));
    Installation install;
    const fs::path outside = install.folder().parent_path() / L"outside";
    fs::create_directories(outside);
    rig::WriteFile(outside / L"target.log", "outside\n");
    const rig::HostSymlink link(install.folder() / c.link, c.target);
    install.WriteConfig(LogFileSetting(c.setting));
    EXPECT_EQ(install.RunLauncher(L"-x").exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(1));
    EXPECT_EQ(rig::ReadFile(outside / L"target.log"), "outside\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    install.EndClients();
    fs::remove_all(outside);
  }
}

// The session-wide mutex name that earlier launchers shared for the log file at `path`.
std::wstring OldLockName(const std::wstring& path) {
  // FNV-1a over the units, ASCII letters upper-cased.
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : path) {
    hash ^= static_cast<uint16_t>((c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c);
    hash *= 1099511628211ull;
  }
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"Local\\PorticoLogFile.";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return name;
}

// Rotation needs the lock, and nothing that no launcher holds keeps it: not the mutex name launchers
// used to share, not a lock file planted beside the log file (which, held by no one, is deleted and
// taken anew). A link at the lock's name goes, not what it leads to; under Wine only a host link can
// be made, which opens as its target: it is left, and with it the wait, but the target stays whole.
TEST(LogFileRotation, ALockNobodyHoldsNeitherStopsRotationNorLosesAFile) {
  enum class Squat { OldMutexName, LockFile, ReadOnlyLockFile, LinkToAFileOutside };
  for (const Squat squat : {Squat::OldMutexName, Squat::LockFile, Squat::ReadOnlyLockFile, Squat::LinkToAFileOutside}) {
    SCOPED_TRACE(static_cast<int>(squat));
    Installation install;
    const fs::path log = install.folder() / L"portico.log";
    const fs::path lock = log.wstring() + L".lock";
    const fs::path outside = install.folder().parent_path() / (install.folder().filename().wstring() + L"-out.txt");
    install.WriteConfig(LogFileSetting(L"portico.log"));
    const std::string filler = "[ZIR][I][2026-1-1 0:0:0] filler\n";
    std::string prefill;
    while (prefill.size() <= (1u << 20)) prefill += filler;
    rig::WriteFile(log, prefill);
    portico::KernelHandle mutex;
    std::unique_ptr<rig::HostSymlink> link;
    if (squat == Squat::OldMutexName) {
      mutex.reset(CreateMutexW(nullptr, TRUE, OldLockName(log.wstring()).c_str()));
      ASSERT_TRUE(mutex);
    } else if (squat == Squat::LinkToAFileOutside) {
      rig::WriteFile(outside, "outside");
      link = std::make_unique<rig::HostSymlink>(lock, rig::HostPath(outside));
    } else {
      rig::WriteFile(lock, "planted");
      if (squat == Squat::ReadOnlyLockFile) SetFileAttributesW(lock.c_str(), FILE_ATTRIBUTE_READONLY);
    }

    EXPECT_EQ(install.RunLauncher(L"forcerun:").exitCode, 0u);
    if (squat == Squat::LinkToAFileOutside) {
      EXPECT_EQ(rig::ReadFile(outside), "outside");
      EXPECT_EQ(Records(rig::ReadFile(log)).size(), prefill.size() / filler.size() + 10);
      link.reset();
      fs::remove(outside);
      continue;
    }
    EXPECT_TRUE(rig::ReadFile(log.wstring() + L".1") == prefill) << "the full file was not rotated";
    EXPECT_EQ(Records(rig::ReadFile(log)).size(), 10u);
    EXPECT_FALSE(fs::exists(lock));
  }
}

TEST(LogFileRotation, LaunchersStartedTogetherRotateOnceAndLoseNoRecord) {
  Installation install;
  const fs::path log = install.folder() / L"portico.log";
  install.WriteConfig(LogFileSetting(L"portico.log"));
  // Just short of the limit: the first records of the run take it past.
  const std::string filler = "[ZIR][I][2026-1-1 0:0:0] filler\n";
  const size_t fillerLines = (1u << 20) / filler.size();
  std::string prefill;
  for (size_t i = 0; i < fillerLines; ++i) prefill += filler;
  rig::WriteFile(log, prefill);

  constexpr int kLaunchers = 4;
  std::vector<std::unique_ptr<rig::Debuggee>> launchers;
  for (int i = 0; i < kLaunchers; ++i) {
    launchers.push_back(std::make_unique<rig::Debuggee>(install.launcher(), L"forcerun:"));
  }
  for (auto& launcher : launchers) EXPECT_EQ(launcher->Wait().exitCode, 0u);

  ASSERT_TRUE(fs::exists(log.wstring() + L".1"));
  std::vector<std::string> records = Records(rig::ReadFile(log.wstring() + L".1"));
  for (const std::string& record : Records(rig::ReadFile(log))) records.push_back(record);
  auto count = [&](const std::string& prefix) {
    return std::count_if(records.begin(), records.end(),
                         [&](const std::string& record) { return record.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(count("filler"), static_cast<long>(fillerLines));
  for (const char* prefix : {"config: ", "running: ", "road: start, forcerun", "registration: ", "class path: ",
                             "par: ", "staging: ", "extraction: ", "shortcut: ", "start: "}) {
    EXPECT_EQ(count(prefix), kLaunchers) << prefix;
  }
  EXPECT_EQ(records.size(), fillerLines + 10 * kLaunchers);
}

}  // namespace
