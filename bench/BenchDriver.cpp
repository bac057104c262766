// The Windows side of `make bench`: starts the launcher and its baselines in turn, one round after
// another, and writes one line per measurement ("figure variant round value") to a results file.
// Times are taken by the programs themselves with GetSystemTimePreciseAsFileTime, so the polling
// here adds nothing to them, except where a message box must be seen and pressed.
//
//   BenchDriver start   OUT ROUNDS LAUNCHER CLIENT TRIVIAL TRIVIAL_WITH_IMPORTS STEPS
//   BenchDriver handoff OUT ROUNDS LAUNCHER CLIENT TRIVIAL TRIVIAL_WITH_IMPORTS LINK
//   BenchDriver memory  OUT ROUNDS LAUNCHER CLIENT TRIVIAL TRIVIAL_WITH_IMPORTS [LAUNCHER_PROBES FLOOR_PROBES]
//   BenchDriver update  OUT ROUNDS FIGURE APPLY MINIUNZ MINIUNZ_FLUSH ARCHIVE FOLDER [SIGNATURE PUBLIC_KEY]
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "WinHandles.h"

namespace {

constexpr DWORD kWaitMs = 30000;
// A pass over 20 000 files, each flushed to a slow disk, may take minutes.
constexpr DWORD kUpdateWaitMs = 600000;

uint64_t Now() {
  FILETIME time;
  GetSystemTimePreciseAsFileTime(&time);
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

class Results {
 public:
  explicit Results(const std::wstring& path) : out_(path.c_str(), std::ios::app) {}
  // Durations go out in microseconds, sizes in bytes.
  void Add(const char* figure, const char* variant, int round, double value) {
    out_ << figure << ' ' << variant << ' ' << round << ' ' << value << '\n';
    out_.flush();
  }

 private:
  std::ofstream out_;
};

double Micros(uint64_t from, uint64_t to) { return (static_cast<double>(to) - static_cast<double>(from)) / 10.0; }

std::wstring RecordOf(const std::wstring& program) {
  return program.substr(0, program.find_last_of(L'.')) + L".record.txt";
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// Complete lines only: the writer may be half-way through the last one.
std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  portico::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return lines;
  std::string text;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
  size_t begin = 0;
  for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
    lines.push_back(text.substr(begin, end - begin));
  }
  return lines;
}

struct Start {
  DWORD pid;
  uint64_t at;
};

std::vector<Start> Starts(const std::wstring& record) {
  std::vector<Start> starts;
  for (const std::string& line : ReadLines(record)) {
    unsigned long pid = 0;
    unsigned long long at = 0;
    if (std::sscanf(line.c_str(), "start pid %lu at %llu", &pid, &at) == 2) starts.push_back({pid, at});
  }
  return starts;
}

std::vector<uint64_t> MessageArrivals(const std::wstring& record) {
  std::vector<uint64_t> arrivals;
  for (const std::string& line : ReadLines(record)) {
    unsigned long bytes = 0;
    unsigned long long at = 0;
    if (std::sscanf(line.c_str(), "pipe message (%lu bytes, at %llu)", &bytes, &at) == 2) arrivals.push_back(at);
  }
  return arrivals;
}

template <typename Ready>
void WaitFor(Ready ready, const char* what) {
  const ULONGLONG deadline = GetTickCount64() + kWaitMs;
  while (!ready()) {
    if (GetTickCount64() >= deadline) Fail(std::string("timed out waiting for ") + what);
    Sleep(5);
  }
}

struct Launch {
  portico::KernelHandle process;
  DWORD pid = 0;
  uint64_t createdAt = 0;  // just before CreateProcessW
};

Launch StartProcess(const std::wstring& program, const std::wstring& arguments, DWORD flags = 0,
                    HANDLE output = nullptr) {
  std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (output) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = output;
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  PROCESS_INFORMATION info{};
  const std::wstring folder = FolderOf(program);
  Launch launch;
  launch.createdAt = Now();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, flags, nullptr,
                      folder.c_str(), &startup, &info)) {
    Fail("cannot start " + Narrow(program) + ", error " + std::to_string(GetLastError()));
  }
  CloseHandle(info.hThread);
  launch.process.reset(info.hProcess);
  launch.pid = info.dwProcessId;
  return launch;
}

DWORD WaitForExit(const Launch& launch, DWORD limitMs = kWaitMs) {
  if (WaitForSingleObject(launch.process.get(), limitMs) != WAIT_OBJECT_0) Fail("a program did not end");
  DWORD code = 0;
  GetExitCodeProcess(launch.process.get(), &code);
  return code;
}

void EndProcess(DWORD pid) {
  portico::KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  if (!process) return;
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), kWaitMs);
}

// The time from CreateProcessW of `program` to the first instruction of whatever records its start
// in `record` next (the program itself, or the client it starts).
double StartLatency(const std::wstring& program, const std::wstring& arguments, const std::wstring& record,
                    bool endStarted) {
  const size_t before = Starts(record).size();
  Launch launch = StartProcess(program, arguments);
  WaitForExit(launch);
  WaitFor([&] { return Starts(record).size() > before; }, "a recorded start");
  const Start start = Starts(record)[before];
  if (endStarted) EndProcess(start.pid);
  return Micros(launch.createdAt, start.at);
}

void StartRoad(Results& results, const std::wstring& resultsPath, int rounds, const std::wstring& launcher,
               const std::wstring& client, const std::wstring& trivial, const std::wstring& trivialWithImports,
               const std::wstring& steps) {
  const std::wstring clientRecord = RecordOf(client);
  const std::wstring trivialRecord = RecordOf(trivial);
  const std::wstring importsRecord = RecordOf(trivialWithImports);
  for (int round = -1; round < rounds; ++round) {  // round -1 warms the caches and is not kept
    const bool keep = round >= 0;
    const bool subjectFirst = round % 2 == 0;
    // The launcher takes turns with the floor its goal is set against: the trivial program with the
    // launcher's DLLs, starting the client as the launcher starts it.
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == subjectFirst) {
        const double portico = StartLatency(launcher, L"", clientRecord, true);
        if (keep) results.Add("B1", "portico", round, portico);
      } else {
        const double floor = StartLatency(trivialWithImports, L"/start:" + client, clientRecord, true);
        if (keep) results.Add("B1", "imports-direct", round, floor);
      }
    }
    // For the record: the bare trivial program (the first baseline), what the loader costs with the
    // launcher's DLLs, two bare program starts in a row, and the launcher's own steps, one by one.
    const double baseline = StartLatency(trivial, L"", trivialRecord, false);
    if (keep) results.Add("B1", "trivial", round, baseline);
    const double imports = StartLatency(trivialWithImports, L"", importsRecord, false);
    if (keep) results.Add("B1", "imports", round, imports);
    const double direct = StartLatency(trivial, L"/start:" + client, clientRecord, true);
    if (keep) results.Add("B1", "direct", round, direct);
    if (keep) {
      const std::wstring startedRecord = RecordOf(FolderOf(steps) + L"\\BenchTrivial.exe");
      const size_t before = Starts(startedRecord).size();
      Launch profile =
          StartProcess(steps, L"\"" + resultsPath + L"\" " + std::to_wstring(round) + L" BenchTrivial.exe");
      if (WaitForExit(profile) != 0) Fail("the step profile failed");
      WaitFor([&] { return Starts(startedRecord).size() > before; }, "the profile's start");
    }
  }
}

struct BoxSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->pid || !IsWindowVisible(window)) return TRUE;
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (wcscmp(name, L"#32770") != 0) return TRUE;
  search->found = window;
  return FALSE;
}

struct HandOff {
  double latency;   // CreateProcessW to the message's first bytes read by the client
  double toBox;     // CreateProcessW to the box first seen
  double boxWait;   // from the box first seen to its being gone
  double afterBox;  // from the box gone to the message's arrival
};

// Seen and pressed as soon as it shows: returns the times from CreateProcessW to the box seen, and
// from then to the box gone.
std::pair<double, double> DismissBox(const Launch& launch) {
  BoxSearch search{launch.pid, nullptr};
  const ULONGLONG deadline = GetTickCount64() + kWaitMs;
  // Polled without a pause: each moment the box stands counts against the figure.
  while (!search.found) {
    if (GetTickCount64() >= deadline) Fail("no box from the launcher");
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  }
  const uint64_t seen = Now();
  // A posted WM_COMMAND is what a click sends; it needs no focus, which Xvfb may not give.
  while (IsWindow(search.found)) {
    PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    if (GetTickCount64() >= deadline) Fail("the box stayed");
    Sleep(0);
  }
  const uint64_t gone = Now();
  return {Micros(launch.createdAt, seen), Micros(seen, gone)};
}

HandOff HandOffOnce(const std::wstring& launcher, const std::wstring& link, const std::wstring& record) {
  const size_t before = MessageArrivals(record).size();
  Launch launch = StartProcess(launcher, L"\"" + link + L"\"");
  const auto [toBox, boxWait] = DismissBox(launch);
  const uint64_t gone = launch.createdAt + static_cast<uint64_t>((toBox + boxWait) * 10.0);
  if (WaitForExit(launch) != 0) Fail("the hand-off failed");
  WaitFor([&] { return MessageArrivals(record).size() > before; }, "the pipe message");
  const uint64_t arrival = MessageArrivals(record)[before];
  return {Micros(launch.createdAt, arrival), toBox, boxWait, Micros(gone, arrival)};
}

void HandOffRoad(Results& results, int rounds, const std::wstring& launcher, const std::wstring& client,
                 const std::wstring& trivial, const std::wstring& trivialWithImports, const std::wstring& link) {
  const std::wstring clientRecord = RecordOf(client);
  const std::wstring trivialRecord = RecordOf(trivial);
  auto serving = [&] {
    size_t count = 0;
    for (const std::string& line : ReadLines(clientRecord)) count += line.rfind("serving pipe", 0) == 0;
    return count;
  };
  const size_t before = serving();
  Launch running = StartProcess(client, L"");
  WaitFor([&] { return serving() > before; }, "the client's pipe");
  Sleep(500);  // its window settles, so that the first round does not meet it half made
  for (int round = -1; round < rounds; ++round) {
    const bool keep = round >= 0;
    const bool subjectFirst = round % 2 == 0;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == subjectFirst) {
        const HandOff handOff = HandOffOnce(launcher, link, clientRecord);
        if (keep) {
          results.Add("B2", "portico", round, handOff.latency);
          results.Add("B2", "box", round, handOff.boxWait);
          results.Add("B2", "to-box", round, handOff.toBox);
          results.Add("B2", "after-box", round, handOff.afterBox);
        }
      } else {
        const double baseline = StartLatency(trivial, L"", trivialRecord, false);
        if (keep) results.Add("B2", "trivial", round, baseline);
      }
    }
    // For the record: the least a program that shows such a box costs up to the box and for it.
    Launch box = StartProcess(trivialWithImports, L"/box");
    const auto [toBox, boxWait] = DismissBox(box);
    WaitForExit(box);
    if (keep) {
      results.Add("B2", "trivial-to-box", round, toBox);
      results.Add("B2", "trivial-box", round, boxWait);
    }
  }
  EndProcess(running.pid);
}

// Peak working set of a program run as a debuggee, read at the entry of each probe (an address in
// the program's image, relative to its base) and as it begins to exit: a breakpoint on ntdll's
// RtlExitUserProcess stops it there with everything still mapped. Read at the exit event instead,
// Wine sometimes answers zeros, the process being gone already. The peak only grows, so the
// difference between two probes is what the code between them took. Each probe is hit once at most;
// the last value answered is the exit's.
struct Probe {
  std::string step;  // the step that ends at this address
  uintptr_t rva = 0;
};

std::vector<std::optional<double>> PeaksAt(const std::wstring& program, const std::wstring& arguments,
                                           const std::vector<Probe>& probes) {
  auto* exitAddress = reinterpret_cast<BYTE*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlExitUserProcess"));
  if (!exitAddress) Fail("no RtlExitUserProcess");
  Launch launch = StartProcess(program, arguments, DEBUG_ONLY_THIS_PROCESS);
  auto readPeak = [&]() -> std::optional<double> {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(launch.process.get(), &counters, sizeof(counters)) || !counters.PeakWorkingSetSize) {
      return std::nullopt;
    }
    return static_cast<double>(counters.PeakWorkingSetSize);
  };
  struct Trap {
    BYTE* address;
    BYTE original;
    bool armed;
  };
  std::vector<Trap> traps;  // the probes, then the exit
  std::vector<std::optional<double>> peaks(probes.size() + 1);
  BYTE* imageBase = nullptr;
  bool loaderSeen = false;
  auto arm = [&](BYTE* address, bool inNtdll) {
    Trap trap{address, 0, false};
    BYTE theirs[16];
    SIZE_T read = 0;
    const BYTE int3 = 0xCC;
    // Ntdll lies where it lies here (it does under Wine): the same bytes, or the probe is not armed.
    if (ReadProcessMemory(launch.process.get(), address, theirs, sizeof(theirs), &read) && read == sizeof(theirs) &&
        (!inNtdll || memcmp(theirs, address, sizeof(theirs)) == 0) &&
        WriteProcessMemory(launch.process.get(), address, &int3, 1, nullptr)) {
      trap.original = theirs[0];
      trap.armed = true;
      FlushInstructionCache(launch.process.get(), address, 1);
    }
    traps.push_back(trap);
  };
  for (bool running = true; running;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, kWaitMs)) Fail("no debug event");
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        imageBase = static_cast<BYTE*>(event.u.CreateProcessInfo.lpBaseOfImage);
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& exception = event.u.Exception.ExceptionRecord;
        if (exception.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;  // the program's own to handle
          break;
        }
        if (!loaderSeen) {  // the loader's breakpoint: the image is mapped, nothing of it has run
          loaderSeen = true;
          if (probes.size() && !imageBase) Fail("no image base");
          for (const Probe& probe : probes) arm(imageBase + probe.rva, false);
          arm(exitAddress, true);
          break;
        }
        for (size_t i = 0; i < traps.size(); ++i) {
          Trap& trap = traps[i];
          if (!trap.armed || exception.ExceptionAddress != trap.address) continue;
          peaks[i] = readPeak();
          WriteProcessMemory(launch.process.get(), trap.address, &trap.original, 1, nullptr);
          FlushInstructionCache(launch.process.get(), trap.address, 1);
          trap.armed = false;
          portico::KernelHandle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, event.dwThreadId));
          CONTEXT context{};
          context.ContextFlags = CONTEXT_CONTROL;
          if (!thread || !GetThreadContext(thread.get(), &context)) Fail("no thread context");
          context.Rip = reinterpret_cast<DWORD64>(trap.address);
          if (!SetThreadContext(thread.get(), &context)) Fail("cannot set the thread context");
          break;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        if (!peaks.back()) peaks.back() = readPeak();
        running = false;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  WaitForExit(launch);
  if (!peaks.back()) Fail("no memory counters");
  return peaks;
}

double PeakWorkingSet(const std::wstring& program, const std::wstring& arguments = L"") {
  return *PeaksAt(program, arguments, {}).back();
}

// "rva step" lines, in the order the program reaches them.
std::vector<Probe> ReadProbes(const std::wstring& path) {
  std::vector<Probe> probes;
  for (const std::string& line : ReadLines(path)) {
    unsigned long long rva = 0;
    char step[64] = {};
    if (std::sscanf(line.c_str(), "%llx %63s", &rva, step) == 2) probes.push_back({step, static_cast<uintptr_t>(rva)});
  }
  if (probes.empty()) Fail("no probes in " + Narrow(path));
  return probes;
}

// A run that starts the client: the client it started is ended before the next run.
template <typename Run>
auto EndingTheClient(const std::wstring& clientRecord, Run run) {
  const size_t before = Starts(clientRecord).size();
  auto measured = run();
  WaitFor([&] { return Starts(clientRecord).size() > before; }, "a recorded start");
  EndProcess(Starts(clientRecord)[before].pid);
  return measured;
}

// The launcher against the floor (the trivial program with the launcher's DLLs, starting the same
// client as the launcher starts it), in turns; the bare trivial program and the same with the DLLs
// alone for reference. With probe files, each round then takes the peak at every step's end, for
// the launcher and the floor, in runs of their own.
void MemoryRoad(Results& results, int rounds, const std::wstring& launcher, const std::wstring& client,
                const std::wstring& trivial, const std::wstring& trivialWithImports, const std::wstring& launcherProbes,
                const std::wstring& floorProbes) {
  const std::wstring clientRecord = RecordOf(client);
  const std::wstring startClient = L"/start:" + client;
  for (int round = -1; round < rounds; ++round) {
    const bool keep = round >= 0;
    const bool subjectFirst = round % 2 == 0;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == subjectFirst) {
        const double peak = EndingTheClient(clientRecord, [&] { return PeakWorkingSet(launcher); });
        if (keep) results.Add("B5", "portico", round, peak);
      } else {
        const double peak =
            EndingTheClient(clientRecord, [&] { return PeakWorkingSet(trivialWithImports, startClient); });
        if (keep) results.Add("B5", "floor", round, peak);
      }
    }
    const double bare = PeakWorkingSet(trivial);  // for the record, not the ratio
    const double imports = PeakWorkingSet(trivialWithImports);
    if (keep) {
      results.Add("B5", "trivial", round, bare);
      results.Add("B5", "imports", round, imports);
    }
    if (launcherProbes.empty()) continue;
    for (const auto& [figure, program, probeFile, arguments] :
         {std::tuple{"B5step", launcher, launcherProbes, std::wstring()},
          std::tuple{"B5floorstep", trivialWithImports, floorProbes, startClient}}) {
      const std::vector<Probe> probes = ReadProbes(probeFile);
      const auto peaks = EndingTheClient(clientRecord, [&] { return PeaksAt(program, arguments, probes); });
      for (size_t i = 0; keep && i < peaks.size(); ++i) {
        if (peaks[i]) results.Add(figure, i < probes.size() ? probes[i].step.c_str() : "exit", round, *peaks[i]);
      }
    }
  }
}

double TimedRun(const std::wstring& program, const std::wstring& arguments, HANDLE output) {
  Launch launch = StartProcess(program, arguments, 0, output);
  const DWORD code = WaitForExit(launch, kUpdateWaitMs);
  const uint64_t ended = Now();
  if (code != 0) Fail(Narrow(program) + " failed with " + std::to_string(code));
  return Micros(launch.createdAt, ended);
}

// Three installations below `folder`, one for each program; round -1 lays them out, and every kept
// round then replaces files that are there. The order of the turns changes from round to round.
// With a signature and its public key, a fourth turn applies the same archive signed, over the
// launcher's installation: "signed" against "portico" is the check's cost, paired round by round.
// Its first, unkept round writes the installation's stamp; later ones meet the same timestamp.
void UpdateRoad(Results& results, int rounds, const char* figure, const std::wstring& apply,
                const std::wstring& miniunz, const std::wstring& miniunzFlush, const std::wstring& archive,
                const std::wstring& folder, const std::wstring& signature, const std::wstring& publicKey) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  portico::FileHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherit, OPEN_EXISTING, 0, nullptr));
  const std::wstring subjectFolder = folder + L"\\portico";
  const std::wstring update = subjectFolder + L"\\update.zip";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW(subjectFolder.c_str(), nullptr);
  auto subject = [&](bool signedUpdate) {
    // A second name for the same data: the launcher deletes update.zip once it is applied.
    DeleteFileW(update.c_str());
    if (!CreateHardLinkW(update.c_str(), archive.c_str(), nullptr) &&
        !CopyFileW(archive.c_str(), update.c_str(), FALSE)) {
      Fail("cannot place update.zip");
    }
    if (!signedUpdate) return TimedRun(apply, L"\"" + subjectFolder + L"\"", nul.get());
    if (!CopyFileW(signature.c_str(), (update + L".minisig").c_str(), FALSE)) Fail("cannot place the signature");
    return TimedRun(apply, L"\"" + subjectFolder + L"\" " + publicKey, nul.get());
  };
  auto baseline = [&](const std::wstring& program, const wchar_t* name) {
    const std::wstring into = folder + L"\\" + name;
    CreateDirectoryW(into.c_str(), nullptr);
    return TimedRun(program, L"-x -o \"" + archive + L"\" -d \"" + into + L"\"", nul.get());
  };
  const int turns = signature.empty() ? 3 : 4;
  for (int round = -1; round < rounds; ++round) {
    for (int turn = 0; turn < turns; ++turn) {
      const int which = (turn + round + turns) % turns;
      const char* variant = which == 0 ? "portico" : which == 1 ? "miniunz" : which == 2 ? "miniunz-flush" : "signed";
      const double time = which == 0   ? subject(false)
                          : which == 1 ? baseline(miniunz, L"miniunz")
                          : which == 2 ? baseline(miniunzFlush, L"miniunz-flush")
                                       : subject(true);
      if (round >= 0) results.Add(figure, variant, round, time);
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    if (argc < 4) Fail("usage: BenchDriver start|handoff|memory|update OUT ROUNDS ...");
    const std::wstring mode = argv[1];
    Results results(argv[2]);
    const int rounds = _wtoi(argv[3]);
    if (mode == L"start" && argc == 9) {
      StartRoad(results, argv[2], rounds, argv[4], argv[5], argv[6], argv[7], argv[8]);
    } else if (mode == L"handoff" && argc == 9) {
      HandOffRoad(results, rounds, argv[4], argv[5], argv[6], argv[7], argv[8]);
    } else if (mode == L"memory" && (argc == 8 || argc == 10)) {
      MemoryRoad(results, rounds, argv[4], argv[5], argv[6], argv[7], argc == 10 ? argv[8] : L"",
                 argc == 10 ? argv[9] : L"");
    } else if (mode == L"update" && (argc == 10 || argc == 12)) {
      const std::string figure = Narrow(argv[4]);
      UpdateRoad(results, rounds, figure.c_str(), argv[5], argv[6], argv[7], argv[8], argv[9],
                 argc == 12 ? argv[10] : L"", argc == 12 ? argv[11] : L"");
    } else {
      Fail("bad arguments");
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "BenchDriver: %s\n", error.what());
    return 1;
  }
  return 0;
}
