// An update against what real machines do to it: a full disk, files held by other programs, the
// launcher replacing itself, a reader on the archive, two launchers at once, a read-only download.
// Each runs the real launcher on the start road, and each ends with the next start completing the
// update.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <thread>

#include "Host.h"
#include "Installation.h"
#include "UpdateTree.h"
#include "WinHandles.h"
#include "ZipBuilder.h"

namespace {

namespace fs = std::filesystem;

ziptest::Entry File(const std::string& name, const std::string& data, bool deflate = false) {
  ziptest::Entry entry;
  entry.name = name;
  entry.data = data;
  entry.deflate = deflate;
  return entry;
}

bool AnyOrphanBelow(const fs::path& folder) {
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (updatetest::IsOrphan(item.path().filename().wstring())) return true;
  }
  return false;
}

// The installation with the client headless (it only records its starts) and an update in temp.
void Prepare(rig::Installation& install, const std::string& archive, const std::string& clientSettings = "") {
  install.WriteConfig();
  install.WriteClientSettings("window=none\n" + clientSettings);
  rig::WriteFile(install.folder() / L"temp" / L"update.zip", archive);
}

std::string Read(const rig::Installation& install, const fs::path& relative) {
  return rig::ReadFile(install.folder() / relative);
}

bool Exists(const rig::Installation& install, const fs::path& relative) {
  return fs::exists(install.folder() / relative);
}

// A tmpfs of its own, mounted by the host and mapped as a drive: a volume that fills up. Mounting
// needs root (make test runs as root); where the host refuses, there is no volume.
class SmallVolume {
 public:
  explicit SmallVolume(int mebibytes) : mountPoint_(L"C:\\" + rig::UniqueName(L"portico-volume-")) {
    fs::create_directories(mountPoint_);
    host_ = rig::HostPath(mountPoint_);
    mounted_ = rig::RunHostProgram(
                   "/bin/mount", {"-t", "tmpfs", "-o", "size=" + std::to_string(mebibytes) + "m", "tmpfs", host_}) == 0;
    if (mounted_) drive_ = std::make_unique<rig::MappedDrive>(L'T', mountPoint_);
  }
  ~SmallVolume() {
    drive_.reset();
    if (mounted_) rig::RunHostProgram("/bin/umount", {host_});
    std::error_code ignored;
    fs::remove(mountPoint_, ignored);
  }
  bool mounted() const { return mounted_; }
  fs::path root() const { return drive_->root(); }

  // Takes all the room that is left, with a file of its own.
  void Fill() {
    filler_.reset(CreateFileW((root() / L"filler.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string chunk(64 * 1024, 'f');
    DWORD written = 0;
    while (WriteFile(filler_.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) &&
           written == chunk.size()) {
    }
    filler_.reset();
  }
  void Free() { DeleteFileW((root() / L"filler.bin").c_str()); }

 private:
  fs::path mountPoint_;
  std::string host_;
  bool mounted_ = false;
  std::unique_ptr<rig::MappedDrive> drive_;
  portico::FileHandle filler_;
};

TEST(FullDisk, AnUpdateThatDoesNotFitWritesNothingAndWaits) {
  SmallVolume volume(12);
  if (!volume.mounted()) GTEST_SKIP() << "the host refused to mount a tmpfs (not root?): no small volume to fill";
  rig::Installation install(L"install", L"Portico.exe", volume.root());
  // Tiny when packed, 8 MiB when written: more than the volume has left.
  Prepare(install,
          ziptest::Build({File("data/small.txt", "new"), File("data/big.bin", std::string(8 << 20, 'b'), true)}));
  rig::WriteFile(install.folder() / L"data" / L"small.txt", "old");

  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(Read(install, L"data\\small.txt"), "old");
  EXPECT_FALSE(Exists(install, L"data\\big.bin"));
  EXPECT_TRUE(Exists(install, L"update.zip"));
  EXPECT_FALSE(AnyOrphanBelow(install.folder()));
}

TEST(FullDisk, ADiskThatFillsDuringThePassLeavesEveryFileWholeAndTheNextStartCompletes) {
  SmallVolume volume(12);
  if (!volume.mounted()) GTEST_SKIP() << "the host refused to mount a tmpfs (not root?): no small volume to fill";
  rig::Installation install(L"install", L"Portico.exe", volume.root());
  const std::string first(1 << 20, '1'), second(1 << 20, '2'), third(1 << 20, '3');
  Prepare(install,
          ziptest::Build({File("a.bin", first, true), File("b.bin", second, true), File("c.bin", third, true)}));
  rig::WriteFile(install.folder() / L"b.bin", "old b");

  // Another program takes the room once the first entry's data is written (the second flush: the
  // first is the download's, before it is staged).
  rig::DebuggeeOptions options;
  options.breakOn = {"FlushFileBuffers"};
  int flushes = 0;
  options.onBreak = [&](const rig::BreakpointHit&) {
    if (++flushes == 2) volume.Fill();
    return rig::HitAction::Continue;
  };
  EXPECT_EQ(install.RunLauncher(L"", options).exitCode, 0u);
  ASSERT_GE(flushes, 2);
  EXPECT_EQ(Read(install, L"a.bin"), first);
  EXPECT_EQ(Read(install, L"b.bin"), "old b");
  EXPECT_FALSE(Exists(install, L"c.bin"));
  EXPECT_TRUE(Exists(install, L"update.zip"));
  EXPECT_FALSE(AnyOrphanBelow(install.folder()));

  // The client started too, but could record nothing on the full volume.
  volume.Free();
  install.EndClients();
  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(Read(install, L"b.bin"), second);
  EXPECT_EQ(Read(install, L"c.bin"), third);
  EXPECT_FALSE(Exists(install, L"update.zip"));
}

TEST(FilesInUse, ADllHeldForGoodStaysOldUntilTheNextStartAfterItIsFree) {
  rig::Installation install;
  Prepare(install, ziptest::Build({File("bin/plugin.dll", "new plugin"), File("bin/other.dll", "new other")}));
  rig::WriteFile(install.folder() / L"bin" / L"plugin.dll", "old plugin");
  {
    portico::FileHandle held(CreateFileW((install.folder() / L"bin" / L"plugin.dll").c_str(), GENERIC_READ, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
    EXPECT_TRUE(install.WaitForStarts(1));
  }
  EXPECT_EQ(Read(install, L"bin\\plugin.dll"), "old plugin");
  EXPECT_EQ(Read(install, L"bin\\other.dll"), "new other");
  EXPECT_TRUE(Exists(install, L"update.zip"));
  EXPECT_FALSE(AnyOrphanBelow(install.folder()));

  install.EndClients();
  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_EQ(Read(install, L"bin\\plugin.dll"), "new plugin");
  EXPECT_FALSE(Exists(install, L"update.zip"));
}

TEST(FilesInUse, AFileHeldForASecondIsReplacedInTheSamePass) {
  rig::Installation install;
  Prepare(install, ziptest::Build({File("index.db", "new index")}));
  rig::WriteFile(install.folder() / L"index.db", "old index");
  portico::FileHandle held(
      CreateFileW((install.folder() / L"index.db").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  // As a virus scanner would: a look at the file, then it lets go.
  std::thread release([&held] {
    Sleep(1000);
    held.reset();
  });
  const rig::DebuggeeResult result = install.RunLauncher(L"");
  release.join();
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(Read(install, L"index.db"), "new index");
  EXPECT_FALSE(Exists(install, L"update.zip"));
}

TEST(SelfUpdate, ANewLauncherReplacesTheRunningOneAndTheOldOneGoesNextTime) {
  rig::Installation install;
  // Still a program that runs, but not the same bytes.
  const std::string newLauncher = rig::ReadFile(install.launcher()) + std::string(512, '\0');
  // The copy that runs the pass also carries out the removals, in the same pass.
  rig::WriteFile(install.folder() / L"data" / L"v1.txt", "1");
  Prepare(install, ziptest::Build({File("Portico.exe", newLauncher, true), File("data/v2.txt", "2"),
                                   File("~pt~removals.txt", "data/v1.txt\nPortico.exe\n")}));

  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_TRUE(install.WaitForStarts(1));
  EXPECT_TRUE(rig::ReadFile(install.launcher()) == newLauncher);
  EXPECT_EQ(Read(install, L"data\\v2.txt"), "2");
  EXPECT_FALSE(Exists(install, L"data\\v1.txt"));
  EXPECT_FALSE(Exists(install, L"update.zip"));

  install.EndClients();
  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_TRUE(install.WaitForStarts(2));
  EXPECT_FALSE(AnyOrphanBelow(install.folder()));
}

// What the launcher's process tree did, in the one order the debugger saw it: processes that began
// and ended, renames (by name, or through an open file), and the programs it started.
struct TreeCall {
  DWORD processId = 0;
  std::string what;   // "start", "end", "rename", "run"
  std::wstring from;  // a rename's source; a process's or a run's program
  std::wstring to;
};

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && _wcsicmp(a.c_str(), b.c_str()) == 0;
}

rig::DebuggeeOptions RecordTreeCalls(std::vector<TreeCall>& calls) {
  rig::DebuggeeOptions options;
  options.breakOn = {"MoveFileExW", "SetFileInformationByHandle", "CreateProcessW"};
  options.followChild = [](const std::wstring& image) {
    return updatetest::IsOrphan(fs::path(image).filename().wstring());
  };
  options.onProcess = [&calls](const rig::ProcessEvent& event) {
    calls.push_back({event.processId, event.started ? "start" : "end", event.image, L""});
  };
  options.onBreak = [&calls](const rig::BreakpointHit& hit) {
    const CONTEXT& registers = *hit.context;
    const auto at = [](DWORD64 value) { return reinterpret_cast<const void*>(value); };
    if (hit.function == "CreateProcessW") {
      calls.push_back({hit.processId, "run", rig::WideStringIn(hit.process, at(registers.Rcx)), L""});
    } else if (hit.function == "MoveFileExW" && registers.Rdx) {
      calls.push_back({hit.processId, "rename", rig::WideStringIn(hit.process, at(registers.Rcx)),
                       rig::WideStringIn(hit.process, at(registers.Rdx))});
    } else if (hit.function == "SetFileInformationByHandle" && registers.Rdx == FileRenameInfo) {
      FILE_RENAME_INFO head{};
      ReadProcessMemory(hit.process, at(registers.R8), &head, sizeof(head), nullptr);
      const auto name = at(registers.R8 + offsetof(FILE_RENAME_INFO, FileName));
      calls.push_back({hit.processId, "rename",
                       rig::PathOfHandleIn(hit.process, reinterpret_cast<HANDLE>(registers.Rcx)),
                       rig::WideStringIn(hit.process, name, head.FileNameLength / sizeof(wchar_t))});
    }
    return rig::HitAction::Continue;
  };
  return options;
}

// Replayed in order: the renames that touched the launcher's file, and whether a process ran its
// image at each.
struct LauncherRenames {
  int asideWhileRunning = 0;
  int intoWhileRunning = 0;
  int into = 0;
  int copies = 0;          // processes that ran a copy of the launcher, each started with its full path
  int launcherStarts = 0;  // processes seen to run the launcher's file: the names compare
};

LauncherRenames Replay(const std::vector<TreeCall>& calls, const std::wstring& launcher) {
  LauncherRenames seen;
  std::map<DWORD, std::wstring> running;
  for (const TreeCall& call : calls) {
    if (call.what == "start") running[call.processId] = call.from;
    if (call.what == "start" && SamePath(call.from, launcher)) ++seen.launcherStarts;
    if (call.what == "end") running.erase(call.processId);
    if (call.what == "run" && updatetest::IsOrphan(fs::path(call.from).filename().wstring())) ++seen.copies;
    if (call.what != "rename") continue;
    bool launcherRuns = false;
    for (const auto& [id, image] : running) launcherRuns = launcherRuns || SamePath(image, launcher);
    if (SamePath(call.from, launcher) && launcherRuns) ++seen.asideWhileRunning;
    if (SamePath(call.to, launcher)) {
      ++seen.into;
      if (launcherRuns) ++seen.intoWhileRunning;
    }
  }
  return seen;
}

// Windows renames a running program aside but will not replace it, and a kill between the two
// renames would leave no launcher. Wine replaces it directly, so the order of the calls is what shows.
TEST(SelfUpdate, TheLauncherFileIsReplacedByOneRenameOnlyOnceNoProcessRunsIt) {
  const struct {
    const char* entry;
    bool replacesLauncher;
  } kCases[] = {{"Portico.exe", true}, {"PORTICO.exe", true}, {"data/Portico.exe", false}, {"other.exe", false}};
  for (const auto& each : kCases) {
    SCOPED_TRACE(each.entry);
    rig::Installation install;
    const std::string oldLauncher = rig::ReadFile(install.launcher());
    const std::string newLauncher = oldLauncher + std::string(512, '\0');
    Prepare(install, ziptest::Build({File(each.entry, newLauncher, true), File("data/v2.txt", "2")}));
    std::vector<TreeCall> calls;
    const rig::DebuggeeResult result = install.RunLauncher(L"", RecordTreeCalls(calls));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.lastExitCode, 0u);
    EXPECT_TRUE(install.WaitForStarts(1));
    EXPECT_EQ(Read(install, L"data\\v2.txt"), "2");
    EXPECT_TRUE(rig::ReadFile(install.launcher()) == (each.replacesLauncher ? newLauncher : oldLauncher));

    const LauncherRenames seen = Replay(calls, install.launcher().wstring());
    EXPECT_EQ(seen.launcherStarts, 1);
    EXPECT_EQ(seen.asideWhileRunning, 0);
    EXPECT_EQ(seen.intoWhileRunning, 0);
    EXPECT_EQ(seen.into, each.replacesLauncher ? 1 : 0);
    EXPECT_EQ(seen.copies, each.replacesLauncher ? 1 : 0);

    // The copy's own file goes at the next pass.
    install.EndClients();
    rig::WriteFile(install.folder() / L"temp" / L"update.zip", ziptest::Build({File("data/v3.txt", "3")}));
    EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
    EXPECT_EQ(Read(install, L"data\\v3.txt"), "3");
    EXPECT_FALSE(AnyOrphanBelow(install.folder()));
  }
}

// Started by hand with the switch, a copy has no launcher that handed it the pass: it does nothing.
TEST(SelfUpdate, ACopyStartedWithoutItsLauncherDoesNothing) {
  rig::Installation install;
  Prepare(install, ziptest::Build({File("data/v2.txt", "2")}));
  const fs::path copy = install.folder() / L"~pt~abc-0.tmp";
  fs::copy_file(install.launcher(), copy);
  for (const wchar_t* handle : {L"4", L"ffffffffffffffff", L"0"}) {
    const rig::DebuggeeResult result = rig::RunDebuggee(copy, std::wstring(L"/portico-pass-runner:") + handle);
    EXPECT_EQ(result.exitCode, 1u) << handle;
  }
  EXPECT_FALSE(Exists(install, L"data\\v2.txt"));
  EXPECT_TRUE(Exists(install, L"temp\\update.zip"));
  EXPECT_EQ(install.Record().starts.size(), 0u);
}

TEST(ArchiveInUse, AReaderOnTheArchiveKeepsItForALaterStart) {
  rig::Installation install;
  install.WriteConfig();
  install.WriteClientSettings("window=none\n");
  rig::WriteFile(install.folder() / L"update.zip", ziptest::Build({File("data/v2.txt", "2")}));
  {
    // Shares neither reading nor writing, only its deletion.
    portico::FileHandle reader(CreateFileW((install.folder() / L"update.zip").c_str(), GENERIC_READ, FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
    EXPECT_TRUE(install.WaitForStarts(1));
  }
  EXPECT_TRUE(Exists(install, L"update.zip"));
  EXPECT_FALSE(Exists(install, L"data\\v2.txt"));

  install.EndClients();
  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_EQ(Read(install, L"data\\v2.txt"), "2");
  EXPECT_FALSE(Exists(install, L"update.zip"));
}

TEST(ArchiveInUse, AReadOnlyDownloadIsStagedAndRemoved) {
  rig::Installation install;
  Prepare(install, ziptest::Build({File("data/v2.txt", "2")}));
  ASSERT_TRUE(SetFileAttributesW((install.folder() / L"temp" / L"update.zip").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
  EXPECT_EQ(Read(install, L"data\\v2.txt"), "2");
  EXPECT_FALSE(Exists(install, L"update.zip"));
  EXPECT_TRUE(fs::is_empty(install.folder() / L"temp"));
}

TEST(TwoLaunchers, StartedTogetherTheyApplyTheArchiveOnceAndNoClientSeesItHalfDone) {
  rig::Installation install;
  std::vector<ziptest::Entry> entries;
  for (int i = 0; i < 40; ++i)
    entries.push_back(File("lib/part" + std::to_string(i) + ".dll", std::string(20000, 'n'), true));
  Prepare(install, ziptest::Build(entries), "inventory=1\n");
  for (int i = 0; i < 40; ++i)
    rig::WriteFile(install.folder() / L"lib" / (L"part" + std::to_wstring(i) + L".dll"), "old");

  // Each rename that puts a file in place, in either launcher: by name, or through the open file
  // (its information class is the second argument). Halfway through its pass the first launcher is
  // held still, and the second is started then.
  std::atomic<int> renames{0};
  std::unique_ptr<rig::Debuggee> second;
  size_t startsWhileTheFirstWasHeld = 0;
  std::function<rig::DebuggeeOptions(bool)> countRenames;
  countRenames = [&](bool first) {
    rig::DebuggeeOptions options;
    options.breakOn = {"MoveFileExW", "SetFileInformationByHandle"};
    options.onBreak = [&, first](const rig::BreakpointHit& hit) {
      if (hit.function != "MoveFileExW" && hit.context->Rdx != FileRenameInfo) return rig::HitAction::Continue;
      if (++renames == 20 && first) {
        second = std::make_unique<rig::Debuggee>(install.launcher(), L"", countRenames(false));
        Sleep(3000);
        startsWhileTheFirstWasHeld = install.Record().starts.size();
      }
      return rig::HitAction::Continue;
    };
    return options;
  };
  rig::Debuggee first(install.launcher(), L"", countRenames(true));
  EXPECT_EQ(first.Wait().exitCode, 0u);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Wait().exitCode, 0u);
  // The second launcher waited for the first one's update, and started nothing meanwhile.
  EXPECT_EQ(startsWhileTheFirstWasHeld, 0u);
  // One staging rename, one per entry: the second launcher found the update done.
  EXPECT_EQ(renames.load(), 1 + 40);
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(Read(install, L"lib\\part" + std::to_wstring(i) + L".dll"), std::string(20000, 'n'));
  EXPECT_FALSE(Exists(install, L"update.zip"));
  EXPECT_FALSE(AnyOrphanBelow(install.folder()));
  // Each client lists what it saw when it started. Two that start together interleave their lines in
  // the record, so the lines are counted over all starts: every listed part is the new one.
  ASSERT_TRUE(install.WaitForStarts(1));
  Sleep(500);
  const rig::ClientRecord record = install.Record();
  size_t parts = 0;
  for (const rig::ClientStart& start : record.starts) {
    for (const rig::SeenFile& file : start.inventory) {
      if (file.path.rfind("lib\\part", 0) != 0) continue;
      ++parts;
      EXPECT_EQ(file.size, 20000u) << "a client started on a half-installed update: " << file.path;
    }
  }
  EXPECT_EQ(parts, 40 * record.starts.size());
}

}  // namespace
