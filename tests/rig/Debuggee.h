#pragma once
// Runs a program as a debuggee: collects each OutputDebugStringA piece it sends, its standard
// error (through a file, since Wine's helper processes can hold a pipe open), and its exit code.

#include <windows.h>

#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace rig {

struct DebuggeeResult {
  DWORD exitCode = 0;
  std::vector<std::string> debugStrings;  // one element per OutputDebugStringA call, in order
  std::string standardError;              // the exact bytes the program wrote
  bool timedOut = false;                  // it was killed after the time limit
  DWORD crashCode = 0;                    // exception code of an unhandled (second-chance) exception
};

struct DebuggeeOptions {
  std::filesystem::path workingFolder;                          // empty: the program's own folder
  std::vector<std::pair<std::wstring, std::wstring>> environment;  // set on top of ours
  DWORD timeoutMs = 60000;
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
