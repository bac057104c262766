#pragma once
// PorticoCheck's command line and one run of it, apart from the console, so that the Windows and
// the Linux program share all but their entry point.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ConfigDocument.h"
#include "ConfigLocation.h"
#include "LogFileCheck.h"

// What each program brings: its UTF-8 conversion (the launcher's own on Windows), the opening of
// a file for reading in binary mode, and its look at whether a file is there.
struct CheckPlatform {
  WideConversion toWide;
  std::FILE* (*openForReading)(const std::filesystem::path& path);
  VariableExpansion expandVariables;  // null where Windows variables cannot be expanded
  ReachLook reachOf;                  // whether a file is there, as the program's platform sees it
};

struct CheckOutput {
  std::string out;  // for standard output, UTF-8
  std::string err;  // for standard error, UTF-8
  int exitCode;     // 0 clean, 1 warnings, 2 not loadable, 3 a bad command line
};

// `arguments`: the command line's arguments in UTF-8, without the program's name.
CheckOutput RunCheck(const std::vector<std::string>& arguments, const CheckPlatform& platform);
