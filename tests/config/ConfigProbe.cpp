// Builds the process-wide ConfigStore as the launcher does, for wherever this program was copied
// to, and reports on standard error what it found:
//   acp=<ANSI code page> loaded=0|1 chinese=0|1 filled=0|1 ProgName=<UTF-8>, one per line.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ConfigStore.h"

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
  return result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ConfigStore& store = ConfigStore::Instance();
  ProductConfig config;
  std::vector<LaunchArgument> arguments;
  bool filled = store.FillProductConfig(config, arguments);
  _setmode(_fileno(stderr), _O_BINARY);
  std::fprintf(stderr, "acp=%u\nloaded=%d\nchinese=%d\nfilled=%d\nProgName=%s\n", GetACP(), store.loaded, store.chinese,
               filled, Utf8(config.ProgName).c_str());
  std::fflush(stderr);
  return 0;
}
