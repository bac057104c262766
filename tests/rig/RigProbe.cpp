// A GUI-subsystem program, like Portico, that does one observable thing so that the test rig
// can be checked against the real API:
//   RigProbe box CAPTION TEXT     shows an OK/Cancel message box; exits with the button's id
//   RigProbe emit N CODE          sends debugger strings of 1..N bytes... see below; exits with CODE
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 100;
  std::wstring verb = argv[1];
  if (verb == L"box" && argc == 4) {
    return MessageBoxW(nullptr, argv[3], argv[2], MB_OKCANCEL);
  }
  if (verb == L"emit" && argc == 4) {
    // Two debugger strings, "first" and N bytes of 'x', then a line on standard error.
    OutputDebugStringA("first");
    std::string payload(static_cast<size_t>(_wtoi(argv[2])), 'x');
    OutputDebugStringA(payload.c_str());
    std::fputs("to standard error\n", stderr);
    std::fflush(stderr);
    return _wtoi(argv[3]);
  }
  return 101;
}
