// A GUI-subsystem program, like Portico, that logs through the root logger:
//   LogProbe statement TEXT     one launcher log statement: "class path: " and TEXT
//   LogProbe records N...       one record of N bytes per argument (letters, then a line feed),
//                               straight to rootLogger; exits with 0 when every delivery answered true
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "Log.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 100;
  const std::wstring verb = argv[1];
  if (verb == L"statement" && argc == 3) {
    WriteWide(PORTICO_LOG_INFO, L"class path: ") << NarrowText(argv[2]);
    return 0;
  }
  if (verb == L"records") {
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
      cpplog::LogData record(cpplog::INFO);
      const int size = _wtoi(argv[i]);
      for (int k = 0; k + 1 < size; ++k) record.stream.put(static_cast<char>('a' + k % 26));
      record.stream.put('\n');
      if (!rootLogger.deliverRecord(&record)) ++failures;
    }
    return failures;
  }
  return 101;
}
