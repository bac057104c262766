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
};

// The debuggee stopped at the first instruction of a function named in DebuggeeOptions::breakOn.
struct BreakpointHit {
  std::string function;
  HANDLE process = nullptr;
  const CONTEXT* context = nullptr;  // its registers: the first four arguments in Rcx, Rdx, R8, R9
  // With HitAction::Return, what the function answers (in Rax) without running.
  mutable DWORD64 returnValue = 0;
};
// Return: the function returns to its caller at once, answering BreakpointHit::returnValue.
enum class HitAction { Continue, Terminate, Return };

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
  void OnBreakpoint(HANDLE process, const DEBUG_EVENT& event, detail::Breakpoints& breakpoints);

  std::filesystem::path program_;
  std::wstring arguments_;
  DebuggeeOptions options_;
  std::promise<DWORD> pidPromise_;
  std::shared_future<DWORD> pid_;
  DebuggeeResult result_;
  std::thread thread_;
};

// Start, wait, return: for programs that need no interaction while they run.
DebuggeeResult RunDebuggee(const std::filesystem::path& program, const std::wstring& arguments,
                           DebuggeeOptions options = {});

}  // namespace rig
