#pragma once
// Runs a program as a debuggee: collects each OutputDebugStringA piece it sends, its standard
// error (through a file, since Wine's helper processes can hold a pipe open), and its exit code.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace rig {

namespace detail {
class Breakpoints;
}

struct DebuggeeResult {
  DWORD exitCode = 0;
  std::vector<std::string> debugStrings;  // one element per OutputDebugStringA call, in order
  std::string standardError;              // the exact bytes the program wrote
  bool timedOut = false;                  // it was killed after the time limit
  bool terminatedAtBreak = false;         // onBreak asked for its end
  DWORD startError = 0;                   // why it could not be started (exit code -1)
  DWORD crashCode = 0;                    // exception code of an unhandled (second-chance) exception
  DWORD lastExitCode = 0;                 // of the last followed process to end (the program's own without followChild)
};

// The debuggee stopped at the first instruction of a function named in DebuggeeOptions::breakOn.
struct BreakpointHit {
  std::string function;
  HANDLE process = nullptr;
  DWORD processId = 0;
  // Its registers: the first four arguments in Rcx, Rdx, R8, R9. The call goes on with them as
  // `onBreak` leaves them, so that a fault can be injected as a bad argument.
  CONTEXT* context = nullptr;
  // With HitAction::Return, what the function answers (in Rax) without running.
  mutable DWORD64 returnValue = 0;
};
// Return: the function returns to its caller at once, answering BreakpointHit::returnValue.
enum class HitAction { Continue, Terminate, Return };

// A followed process began or ended, seen in one order with the breakpoints.
struct ProcessEvent {
  DWORD processId = 0;
  bool started = false;
  std::wstring image;  // its program file, as the file system names it (no \\?\ prefix)
  DWORD exitCode = 0;  // when it ended
};

struct DebuggeeOptions {
  std::filesystem::path workingFolder;                             // empty: the program's own folder
  std::vector<std::pair<std::wstring, std::wstring>> environment;  // set on top of ours
  DWORD timeoutMs = 60000;
  // Exports of kernel32 to stop at, each call; the debuggee is ended (exit code 0xDEAD) when
  // `onBreak` answers Terminate. The fault injector: a program killed at its Nth file call.
  std::vector<std::string> breakOn;
  std::function<HitAction(const BreakpointHit&)> onBreak;
  // When not 0, the breakpoints go in only this long after the start (the debuggee is stopped for
  // it): calls before then run at full speed and are not seen.
  DWORD breakAfterMs = 0;
  // When set, the processes the program starts (and theirs) whose program file passes it are debugged
  // too, with the same breakpoints and onBreak; the others are let go at once. The run lasts until the
  // last followed process ends, and Terminate ends every one of them, as a power cut would.
  std::function<bool(const std::wstring& image)> followChild;
  std::function<void(const ProcessEvent&)> onProcess;
};

// Starts `program` with `arguments` (the text after the quoted program path) on a thread of its
// own, since Windows ties a debug loop to the thread that created the process.
class Debuggee {
 public:
  Debuggee(std::filesystem::path program, std::wstring arguments, DebuggeeOptions options = {});
  ~Debuggee();
  Debuggee(const Debuggee&) = delete;
  Debuggee& operator=(const Debuggee&) = delete;

  // Process id once the process was created; 0 when it could not be started.
  DWORD pid();
  // Waits for the process to end and returns what it left.
  DebuggeeResult Wait();

 private:
  void Run();
  // Answers whether the process tree was ended.
  bool OnBreakpoint(HANDLE process, const DEBUG_EVENT& event, detail::Breakpoints& breakpoints);

  std::filesystem::path program_;
  std::wstring arguments_;
  DebuggeeOptions options_;
  std::promise<DWORD> pidPromise_;
  std::shared_future<DWORD> pid_;
  DebuggeeResult result_;
  std::thread thread_;
};

// The path of a file the debuggee holds open as `handle`, without the "\\?\" prefix; empty when unknown.
std::wstring PathOfHandleIn(HANDLE process, HANDLE handle);

// A wide string of the debuggee's at `address`, up to `most` characters; empty when unreadable.
std::wstring WideStringIn(HANDLE process, const void* address, size_t most = MAX_PATH);

// Start, wait, return: for programs that need no interaction while they run.
DebuggeeResult RunDebuggee(const std::filesystem::path& program, const std::wstring& arguments,
                           DebuggeeOptions options = {});

}  // namespace rig
