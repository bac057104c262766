#pragma once
// The command line of the copy of the launcher that runs an update pass for it: the switch that
// carries the original launcher's process handle, and the original's own command line after it.
// Pure text, no Win32.

#include <cstdint>
#include <string>

struct PassRunnerRequest {
  bool found = false;         // the command line began with the switch and a handle value
  uint64_t originalHandle = 0;  // as inherited, valid only in the copy that was given it
  std::wstring commandLine;   // the original launcher's command line, or the whole text when not found
};

// "<switch><handle in hexadecimal>", then a blank and the original command line when there is one.
std::wstring PassRunnerArguments(uint64_t originalHandle, const std::wstring& commandLine);

// The reverse: the switch is recognised only at the very start, with 1 to 16 hexadecimal digits,
// followed by the end or by one blank.
PassRunnerRequest SplitPassRunner(const std::wstring& commandLine);
