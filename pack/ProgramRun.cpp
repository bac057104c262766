#include "ProgramRun.h"

#ifdef _WIN32
#include <process.h>

#include "Utf8ToUtf16.h"
#else
#include <spawn.h>
#include <sys/wait.h>
#include <cerrno>

extern char** environ;
#endif

std::string QuoteWindowsArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes stand for themselves unless a quote follows: then each is doubled, and one more
    // escapes the quote.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

ProgramResult RunProgram(const std::vector<std::string>& command) {
  ProgramResult result;
  if (command.empty()) return result;
#ifdef _WIN32
  // _wspawnvp joins the arguments with blanks and nothing else: each must come quoted already.
  std::vector<std::wstring> wide;
  for (const std::string& argument : command) wide.push_back(Utf8ToUtf16Units(QuoteWindowsArgument(argument).c_str()));
  std::vector<const wchar_t*> argv;
  for (const std::wstring& argument : wide) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  const std::wstring program = Utf8ToUtf16Units(command[0].c_str());
  const intptr_t status = _wspawnvp(_P_WAIT, program.c_str(), argv.data());
  if (status == -1) return result;
  result.started = true;
  result.exitCode = static_cast<int>(status);
#else
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return result;
  int status = 0;
  while (waitpid(child, &status, 0) == -1) {
    if (errno != EINTR) return result;
  }
  result.started = true;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return result;
}
