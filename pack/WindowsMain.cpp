// portico-pack.exe: the packer as a Windows console program; arguments and output in UTF-8 inside.
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "ConsoleWrite.h"
#include "DisplayText.h"
#include "PackMain.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Utf8(argv[i]));
  std::ostringstream out;
  std::ostringstream err;
  const int exitCode = RunPack(arguments, out, err);
  WriteConsoleOrBytes(STD_OUTPUT_HANDLE, stdout, out.str());
  WriteConsoleOrBytes(STD_ERROR_HANDLE, stderr, err.str());
  return exitCode;
}
