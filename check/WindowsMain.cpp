// PorticoCheck.exe: the checker with the launcher's own text conversion, as a console program.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CheckCommand.h"
#include "DisplayText.h"
#include "LogFileLocation.h"
#include "TextConversion.h"

namespace {

std::FILE* OpenWide(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

// A console shows UTF-16 written with WriteConsoleW whatever its code page, on every Windows
// version; a file or a pipe gets the UTF-8 bytes, with line feeds untouched.
void Write(DWORD standardHandle, std::FILE* stream, const std::string& utf8) {
  if (utf8.empty()) return;
  HANDLE handle = GetStdHandle(standardHandle);  // not ours to close
  DWORD mode = 0;
  if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    constexpr size_t kChunk = 8192;  // older consoles refuse very large writes
    for (size_t at = 0; at < wide.size(); at += kChunk) {
      DWORD written = 0;
      WriteConsoleW(handle, wide.data() + at, static_cast<DWORD>(std::min(kChunk, wide.size() - at)), &written,
                    nullptr);
    }
    return;
  }
  _setmode(_fileno(stream), _O_BINARY);
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Utf8(argv[i]));
  const CheckOutput result = RunCheck(arguments, {Utf8ToWide, OpenWide, ExpandVariables});
  Write(STD_OUTPUT_HANDLE, stdout, result.out);
  Write(STD_ERROR_HANDLE, stderr, result.err);
  return result.exitCode;
}
