// The launcher killed at every file call of an update. A debugger stops Portico.exe at each call that
// changes files (the product has no test hook) and ends it at the k-th, for every k of a small
// update; over a large one, it lets the launcher run for a while, stops it, and ends it a few file
// calls later, at 200 moments spread over the update. After each kill:
// - no torn file: every installed file holds its old bytes or its new ones;
// - the download is never lost: a whole copy of the archive exists, or the update is complete;
// and after the next, ordinary start the installation is exactly the updated one: each entry with
// its content, attributes and times, every other file unchanged, no temporary file, no update.zip.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Installation.h"
#include "UpdateTree.h"
#include "ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using updatetest::Tree;

const std::vector<std::string> kFileCalls = {"CreateFileW",  "WriteFile",        "FlushFileBuffers",
                                             "SetFileTime",  "SetFileAttributesW", "MoveFileExW",
                                             "CopyFileW",    "DeleteFileW",       "CreateDirectoryW",
                                             "SetFileInformationByHandle"};

// CreateFileW counts only when it opens for a change; its desired access is the second argument.
bool ChangesFiles(const rig::BreakpointHit& hit) {
  if (hit.function != "CreateFileW") return true;
  constexpr DWORD kChanging =
      GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | FILE_WRITE_ATTRIBUTES;
  return (static_cast<DWORD>(hit.context->Rdx) & kChanging) != 0;
}

struct Update {
  std::map<std::wstring, std::string> installed;  // laid out before the update
  std::set<std::wstring> readOnly;                // of those
  std::vector<ziptest::Entry> entries;
  std::set<std::wstring> removed;  // of those installed, what the archive's removal list takes away
  std::string archive;
};

ziptest::Entry Entry(const std::string& name, const std::string& data, uint32_t attributes = 0x20,
                     bool deflate = false) {
  ziptest::Entry entry;
  entry.name = name;
  entry.data = data;
  entry.externalAttributes = attributes;
  entry.deflate = deflate;
  return entry;
}

std::string Pattern(size_t size, unsigned seed) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 7)) & 0xFF);
  return text;
}

// New files, replaced ones, read-only ones, nested folders, an empty file, a folder entry, a Unix
// entry, and files the archive does not mention.
Update SmallUpdate() {
  Update update;
  update.installed = {{L"bin\\tool.dll", "old tool"},       {L"data\\readme.txt", "old readme"},
                      {L"ro.txt", "old read-only"},          {L"docs\\notes.txt", "old notes"},
                      {L"keep\\untouched.txt", "not in the archive"}};
  update.readOnly = {L"ro.txt"};
  ziptest::Entry script = Entry("unix/tool.sh", "#!/bin/sh\n");
  script.versionMadeBy = ziptest::kMadeOnUnix;
  script.externalAttributes = ziptest::UnixMode(0100755);
  update.entries = {Entry("bin/tool.dll", Pattern(40000, 1), 0x20, true),
                    Entry("bin/new.dll", Pattern(5000, 2)),
                    Entry("data/readme.txt", "new readme"),
                    Entry("data/deep/a/b/c.txt", "nested"),
                    Entry("data/deep/a/empty.txt", ""),
                    Entry("ro.txt", "new read-only", 0x21),
                    Entry("new-ro.txt", "made read-only", 0x21),
                    Entry("assets/", "", 0x10),
                    Entry("assets/icon.ico", Pattern(3000, 3)),
                    Entry("docs/notes.txt", Pattern(20000, 4), 0x20, true),
                    Entry("docs/manual.txt", "manual"),
                    Entry("root.txt", "at the root"),
                    Entry("hidden.txt", "hidden", 0x22),
                    script};
  update.archive = ziptest::Build(update.entries);
  return update;
}

// Thousands of small files in many folders, half of them replacing installed ones.
Update LargeUpdate() {
  Update update;
  for (int i = 0; i < 2000; ++i) {
    const std::string folder = "f" + std::to_string(i % 40);
    const std::string file = "file" + std::to_string(i) + ".dat";
    if (i % 2 == 0) update.installed[rig::FromUtf8(folder + "\\" + file)] = "old " + std::to_string(i);
    update.entries.push_back(Entry(folder + "/" + file, Pattern(64 + i % 300, i), 0x20, i % 3 == 0));
  }
  update.archive = ziptest::Build(update.entries);
  return update;
}

// Where to kill: at the k-th file call; or, with a delay, at the k-th file call once that much time
// has passed.
struct KillPoint {
  int call = 0;  // none when 0
  DWORD afterMs = 0;
};

// One installation with the old files, and the update waiting in temp: laid out file by file, or
// copied by the host from a template when there are thousands (and, then, below `parent`).
class Scenario {
 public:
  // `followCopies`: the update replaces the launcher, whose pass runs in a copy of it; that copy is
  // debugged too, killed at its calls as the launcher is, and waited for.
  explicit Scenario(const Update& update, bool followCopies = false) : followCopies_(followCopies) {
    Configure();
    for (const auto& [name, bytes] : update.installed) {
      const fs::path file = install_.folder() / name;
      rig::WriteFile(file, bytes);
      updatetest::SetFixedWriteTime(file);
      if (update.readOnly.count(name)) SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    rig::WriteFile(install_.folder() / L"temp" / L"update.zip", update.archive);
    updatetest::SetFixedWriteTime(install_.folder() / L"temp" / L"update.zip");
  }
  Scenario(const fs::path& parent, const fs::path& laidOut) : install_(L"install", L"Portico.exe", parent), byHost_(true) {
    Configure();
    updatetest::HostCopy(laidOut, install_.folder());
  }
  // Thousands of files go faster by the host.
  ~Scenario() {
    if (!byHost_) return;
    install_.EndClients();
    try {
      updatetest::HostRemove(install_.folder());
    } catch (const std::exception&) {
      // What is left goes with the scratch folder.
    }
  }

  // Answers how many file calls it saw; `seen` receives each one's function.
  int Run(const KillPoint& kill, std::vector<std::string>* seen = nullptr) {
    int calls = 0;
    rig::DebuggeeOptions options;
    options.breakOn = kFileCalls;
    options.breakAfterMs = kill.afterMs;
    options.followChild = FollowCopies();
    options.onBreak = [&](const rig::BreakpointHit& hit) {
      if (!ChangesFiles(hit)) return rig::HitAction::Continue;
      if (seen) seen->push_back(hit.function);
      return ++calls == kill.call ? rig::HitAction::Terminate : rig::HitAction::Continue;
    };
    const rig::DebuggeeResult result = install_.RunLauncher(L"", options);
    EXPECT_EQ(result.crashCode, 0u);
    return calls;
  }

  rig::DebuggeeResult RunNormally() {
    rig::DebuggeeOptions options;
    options.followChild = FollowCopies();
    return install_.RunLauncher(L"", options);
  }

  const rig::Installation& installation() const { return install_; }

  // The installation, without what is its own in every scenario (the launcher, its configuration,
  // the client and what the client writes).
  Tree Look(bool byHost = false) const {
    const std::wstring client = install_.progName();
    const std::wstring bare = client.substr(0, client.size() - 4);
    const std::set<std::wstring> own = {L"Portico.exe", L"ProductConfig.xml", client, bare + L".record.txt",
                                        bare + L".settings.txt"};
    return byHost ? updatetest::HostSnapshot(install_.folder(), own) : updatetest::Snapshot(install_.folder(), own);
  }

 private:
  void Configure() {
    install_.WriteConfig();
    install_.WriteClientSettings("window=none\n");
  }

  std::function<bool(const std::wstring&)> FollowCopies() const {
    if (!followCopies_) return nullptr;
    return [](const std::wstring& image) { return updatetest::IsOrphan(image); };
  }

  rig::Installation install_;
  bool byHost_ = false;
  bool followCopies_ = false;
};

bool IsArchive(const std::wstring& path) { return path == L"update.zip" || path == L"temp\\update.zip"; }

// What a kill must never leave: a torn or stray file, a vanished one (other than one the update
// removes), or no whole archive while the update is not yet complete.
std::vector<std::string> BrokenByKill(const Tree& before, const Tree& after, const Tree& now, const std::string& archive) {
  std::vector<std::string> broken;
  for (const auto& [path, item] : now) {
    if (updatetest::IsOrphan(path) || IsArchive(path)) continue;
    const auto old = before.find(path);
    const auto updated = after.find(path);
    const bool known = old != before.end() || updated != after.end();
    if (!known) {
      broken.push_back("stray " + rig::ToUtf8(path));
    } else if (!item.folder && !(old != before.end() && old->second.content == item.content) &&
               !(updated != after.end() && updated->second.content == item.content)) {
      broken.push_back("torn " + rig::ToUtf8(path));
    }
  }
  for (const auto& [path, item] : before) {
    if (!IsArchive(path) && !now.count(path) && after.count(path)) broken.push_back("vanished " + rig::ToUtf8(path));
  }
  bool complete = true;
  for (const auto& [path, item] : after) {
    const auto it = now.find(path);
    complete = complete && it != now.end() && it->second.content == item.content;
  }
  for (const auto& [path, item] : before)
    complete = complete && (IsArchive(path) || after.count(path) || !now.count(path));
  const auto staged = now.find(L"update.zip");
  const auto download = now.find(L"temp\\update.zip");
  const bool wholeArchive = (staged != now.end() && staged->second.content == archive) ||
                            (download != now.end() && download->second.content == archive);
  if (!wholeArchive && !(complete && staged == now.end())) broken.push_back("no whole archive, update incomplete");
  return broken;
}

struct Reference {
  Tree before;
  Tree after;
  int calls = 0;
  ULONGLONG runMs = 0;
};

// Kills at the point, checks, starts again, checks; answers what broke.
std::vector<std::string> KillAndRollForward(Scenario& scenario, const Reference& reference, const KillPoint& point,
                                            const std::string& archive, bool byHost) {
  scenario.Run(point);
  std::vector<std::string> problems = BrokenByKill(reference.before, reference.after, scenario.Look(byHost), archive);
  rig::DebuggeeResult next = scenario.RunNormally();
  // Seen here in about one kill in a hundred: Wine tears a killed process down for a second or more
  // after its end was reported, and until then refuses to start its program again (a sharing
  // violation on the image). That is no start of the launcher at all, so it is started once more.
  for (int attempt = 0; next.startError == ERROR_SHARING_VIOLATION && attempt < 100; ++attempt) {
    Sleep(100);
    next = scenario.RunNormally();
  }
  if (next.exitCode != 0 || next.timedOut) {
    problems.push_back("the next start ended with " + std::to_string(next.exitCode) + (next.timedOut ? ", timed out" : "") +
                       ", start error " + std::to_string(next.startError));
  }
  for (const std::string& line : updatetest::Differences(reference.after, scenario.Look(byHost))) {
    problems.push_back("after the next start: " + line);
  }
  return problems;
}

void Report(const std::string& what, const std::vector<std::string>& problems) {
  std::string text;
  for (size_t i = 0; i < problems.size() && i < 8; ++i) text += "\n  " + problems[i];
  ADD_FAILURE() << what << ":" << text;
}

void ExpectTheUpdatedInstallation(const Update& update, const Reference& reference) {
  Tree expected = reference.before;
  expected.erase(L"temp\\update.zip");
  for (const std::wstring& path : update.removed) expected.erase(path);
  for (const ziptest::Entry& entry : update.entries) {
    if (entry.name == "~pt~removals.txt") continue;
    std::wstring path = rig::FromUtf8(entry.name);
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    const auto it = reference.after.find(path);
    ASSERT_NE(it, reference.after.end()) << entry.name;
    if (entry.externalAttributes & 0x10) {
      EXPECT_TRUE(it->second.folder) << entry.name;
      continue;
    }
    EXPECT_TRUE(it->second.content == entry.data) << entry.name;
    expected[path] = it->second;
  }
  for (const auto& [path, item] : reference.after) {
    if (item.folder) expected[path] = item;
  }
  EXPECT_EQ(updatetest::Differences(expected, reference.after), std::vector<std::string>());
}

TEST(KillAtEveryWrite, SmallUpdateRollsForwardFromEveryPoint) {
  const Update update = SmallUpdate();
  Reference reference;
  {
    Scenario scenario(update);
    reference.before = scenario.Look();
    reference.calls = scenario.Run({});
    reference.after = scenario.Look();
  }
  ExpectTheUpdatedInstallation(update, reference);
  ASSERT_GT(reference.calls, 50);
  int broken = 0;
  for (int call = 1; call <= reference.calls; ++call) {
    Scenario scenario(update);
    const std::vector<std::string> problems = KillAndRollForward(scenario, reference, {call, 0}, update.archive, false);
    if (problems.empty()) continue;
    ++broken;
    Report("kill point " + std::to_string(call) + " of " + std::to_string(reference.calls), problems);
  }
  std::cout << "small update: " << reference.calls << " kill points tried, " << broken << " broke a guarantee"
            << std::endl;
  EXPECT_EQ(broken, 0);
}

// Removals are killed at every call after the entries' last (the writing of entries is killed in
// the tests above): a file half removed (read-only no more), or removed with its folders still there,
// is finished by the next start, and no file the update keeps ever goes.
TEST(KillAtEveryWrite, AnUpdateWithRemovalsRollsForwardFromEveryPoint) {
  Update update;
  update.installed = {{L"bin\\old.dll", "old"},
                      {L"plugins\\legacy\\a.dll", "legacy"},
                      {L"ro-old.txt", "old read-only"},
                      {L"data\\readme.txt", "old readme"}};
  update.readOnly = {L"ro-old.txt"};
  update.removed = {L"bin\\old.dll", L"plugins\\legacy\\a.dll", L"plugins\\legacy", L"plugins", L"ro-old.txt"};
  update.entries = {Entry("data/readme.txt", "new readme"), Entry("bin/new.dll", "new"),
                    Entry("~pt~removals.txt", "bin/old.dll\nplugins/legacy/a.dll\nro-old.txt\n")};
  update.archive = ziptest::Build(update.entries);
  Reference reference;
  std::vector<std::string> functions;
  {
    Scenario scenario(update);
    reference.before = scenario.Look();
    reference.calls = scenario.Run({}, &functions);
    reference.after = scenario.Look();
  }
  ExpectTheUpdatedInstallation(update, reference);
  // Each written entry ends with its times set; no removal sets any.
  const auto lastTimes = std::find(functions.rbegin(), functions.rend(), "SetFileTime");
  ASSERT_NE(lastTimes, functions.rend());
  const int firstRemovalCall = static_cast<int>(functions.rend() - lastTimes) + 1;
  ASSERT_GT(reference.calls - firstRemovalCall, 10);
  int broken = 0;
  for (int call = firstRemovalCall; call <= reference.calls; ++call) {
    Scenario scenario(update);
    const std::vector<std::string> problems = KillAndRollForward(scenario, reference, {call, 0}, update.archive, false);
    if (problems.empty()) continue;
    ++broken;
    Report("kill point " + std::to_string(call) + " of " + std::to_string(reference.calls), problems);
  }
  std::cout << "update with removals: " << reference.calls - firstRemovalCall + 1 << " kill points tried (of "
            << reference.calls << " file calls), " << broken << " broke a guarantee" << std::endl;
  EXPECT_EQ(broken, 0);
}

// A folder on a tmpfs when the host has one: flushing there costs nothing, and thousands of files
// are written in the time of hundreds.
fs::path FastFolder() {
  const fs::path shm = L"Z:\\dev\\shm";
  return fs::is_directory(shm) ? shm : fs::path();
}

TEST(KillAtEveryWrite, LargeUpdateRollsForwardFromASampleOfPoints) {
  const Update update = LargeUpdate();
  // The old files and the download, laid out once and copied into each installation by the host.
  rig::ScratchFolder template_(L"laid-out", FastFolder());
  for (const auto& [name, bytes] : update.installed) rig::WriteFile(template_.path() / name, bytes);
  rig::WriteFile(template_.path() / L"temp" / L"update.zip", update.archive);

  Reference reference;
  {
    Scenario scenario(FastFolder(), template_.path());
    Reference whole;
    whole.before = scenario.Look();
    reference.before = scenario.Look(true);
    const ULONGLONG start = GetTickCount64();
    scenario.RunNormally();
    reference.runMs = GetTickCount64() - start;
    whole.after = scenario.Look();
    ExpectTheUpdatedInstallation(update, whole);
    reference.after = scenario.Look(true);
  }
  const std::string archive = reference.before.at(L"temp\\update.zip").content;

  // Moments spread over the run, each followed by a few calls of every kind.
  constexpr int kSample = 200;
  std::vector<KillPoint> points;
  for (int i = 0; i < kSample; ++i) {
    points.push_back({1 + i % 7, static_cast<DWORD>(1 + reference.runMs * (2 * i + 1) / (2 * kSample))});
  }
  std::mutex lock;
  std::vector<std::pair<std::string, std::vector<std::string>>> broken;
  // Two installations at a time: each kill waits on the launcher more than on the processor.
  const auto work = [&](int first) {
    for (int i = first; i < kSample; i += 2) {
      std::vector<std::string> problems;
      // The rig's own steps (a host program, a copy into the scratch folder) can fail for reasons of
      // the machine: such a point is tried once more, and reported as broken if the rig fails again.
      for (int attempt = 0; attempt < 2; ++attempt) {
        try {
          Scenario scenario(FastFolder(), template_.path());
          problems = KillAndRollForward(scenario, reference, points[i], archive, true);
          break;
        } catch (const std::exception& error) {
          problems = {std::string("the rig failed: ") + error.what()};
          std::cout << "kill point " << i << ": the rig failed: " << error.what() << std::endl;
        }
      }
      if (problems.empty()) continue;
      std::lock_guard<std::mutex> guard(lock);
      broken.emplace_back("kill point " + std::to_string(i) + " (" + std::to_string(points[i].afterMs) + " ms, call " +
                              std::to_string(points[i].call) + ")",
                          std::move(problems));
    }
  };
  std::thread other(work, 1);
  work(0);
  other.join();
  for (const auto& [what, problems] : broken) Report(what, problems);
  std::cout << "large update (" << update.entries.size() << " files, a run of " << reference.runMs
            << " ms): " << kSample << " kill points tried, " << broken.size() << " broke a guarantee" << std::endl;
  EXPECT_TRUE(broken.empty());
}

// The update replaces the launcher itself. Its pass runs in a copy of the launcher, which is killed
// at each of its file calls as well (the whole tree dies, as in a power cut): after each kill there is a
// launcher, the old one or the new one, and the next start finishes the update. The copy's own file
// goes at the pass after that.
TEST(KillAtEveryWrite, AnUpdateOfTheLauncherItselfAlwaysLeavesALauncher) {
  Update update;
  {
    rig::Installation any;
    update.entries = {Entry("Portico.exe", rig::ReadFile(any.launcher()) + std::string(4096, '\0'), 0x20, true)};
  }
  update.installed = {{L"data\\readme.txt", "old readme"}};
  update.entries.push_back(Entry("data/readme.txt", "new readme"));
  update.entries.push_back(Entry("data/added.txt", "added"));
  update.archive = ziptest::Build(update.entries);
  const std::string& newLauncher = update.entries.front().data;

  const auto finishAndSweep = [](Scenario& scenario) {
    std::vector<std::string> problems;
    for (int start = 0; start < 2; ++start) {
      rig::DebuggeeResult next = scenario.RunNormally();
      for (int attempt = 0; next.startError == ERROR_SHARING_VIOLATION && attempt < 100; ++attempt) {
        Sleep(100);
        next = scenario.RunNormally();
      }
      if (next.exitCode != 0 || next.lastExitCode != 0 || next.timedOut) {
        problems.push_back("start " + std::to_string(start + 2) + " ended with " + std::to_string(next.exitCode) + "/" +
                           std::to_string(next.lastExitCode));
      }
    }
    return problems;
  };
  Reference reference;
  std::string oldLauncher;
  std::vector<std::string> functions;
  {
    Scenario scenario(update, true);
    oldLauncher = rig::ReadFile(scenario.installation().launcher());
    reference.before = scenario.Look();
    reference.calls = scenario.Run({}, &functions);
    EXPECT_TRUE(rig::ReadFile(scenario.installation().launcher()) == newLauncher);
    EXPECT_EQ(finishAndSweep(scenario), std::vector<std::string>());
    reference.after = scenario.Look();
  }
  Update besideTheLauncher = update;  // the launcher is no part of the trees compared
  besideTheLauncher.entries.erase(besideTheLauncher.entries.begin());
  ExpectTheUpdatedInstallation(besideTheLauncher, reference);
  ASSERT_GT(reference.calls, 10);
  // The launcher's entry is written in hundreds of like writes: the first and last of each run of
  // writes, and every 32nd between, stand for them; every other call is a kill point.
  std::vector<int> points;
  for (int call = 1; call <= reference.calls; ++call) {
    const size_t i = static_cast<size_t>(call - 1);
    const bool write = functions[i] == "WriteFile";
    const bool runEdge = i == 0 || i + 1 == functions.size() || functions[i - 1] != "WriteFile" ||
                         functions[i + 1] != "WriteFile";
    if (!write || runEdge || call % 32 == 0) points.push_back(call);
  }
  int broken = 0;
  for (const int call : points) {
    Scenario scenario(update, true);
    scenario.Run({call, 0});
    const std::string launcher = rig::ReadFile(scenario.installation().launcher());
    std::vector<std::string> problems = BrokenByKill(reference.before, reference.after, scenario.Look(), update.archive);
    if (launcher != oldLauncher && launcher != newLauncher) problems.push_back("no whole launcher (Portico.exe)");
    for (const std::string& line : finishAndSweep(scenario)) problems.push_back(line);
    if (rig::ReadFile(scenario.installation().launcher()) != newLauncher) problems.push_back("the launcher is not the new one");
    for (const std::string& line : updatetest::Differences(reference.after, scenario.Look())) {
      problems.push_back("after the next starts: " + line);
    }
    if (problems.empty()) continue;
    ++broken;
    Report("kill point " + std::to_string(call) + " of " + std::to_string(reference.calls), problems);
  }
  std::cout << "update of the launcher: " << points.size() << " kill points tried (of " << reference.calls
            << " file calls), " << broken
            << " broke a guarantee" << std::endl;
  EXPECT_EQ(broken, 0);
}

}  // namespace
