// PorticoCheck.exe: the checker with the launcher's own text conversion, as a console program.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CheckCommand.h"
#include "ConfigFile.h"
#include "ConsoleWrite.h"
#include "DisplayText.h"
#include "LogFileLocation.h"
#include "TextConversion.h"

namespace {

std::FILE* OpenWide(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

// The launcher's own look, on the full path it would ask about.
FileReach LauncherReach(const std::filesystem::path& path) {
  std::error_code error;
  return ReachOf(std::filesystem::absolute(path, error).lexically_normal().make_preferred().wstring());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Utf8(argv[i]));
  const CheckOutput result = RunCheck(arguments, {Utf8ToWide, OpenWide, ExpandVariables, LauncherReach});
  WriteConsoleOrBytes(STD_OUTPUT_HANDLE, stdout, result.out);
  WriteConsoleOrBytes(STD_ERROR_HANDLE, stderr, result.err);
  return result.exitCode;
}
