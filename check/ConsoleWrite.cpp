#include "ConsoleWrite.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>

void WriteConsoleOrBytes(DWORD standardHandle, std::FILE* stream, const std::string& utf8) {
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
