// A GUI-subsystem program, like Portico, that registers itself as a scheme's open command:
//   DesktopProbe register SUBKEY              WriteRegFun(SUBKEY)
//   DesktopProbe register-unstorable SUBKEY   the same registration with a store that always fails
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "ProtocolRegistration.h"
#include "ProtocolRegistrationStore.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 100;
  const std::wstring verb = argv[1];
  if (verb == L"register") {
    WriteRegFun(argv[2]);
    return 0;
  }
  if (verb == L"register-unstorable") {
    RegisterOpenCommand(argv[2], [](HKEY, const std::wstring&) -> LSTATUS { return ERROR_ACCESS_DENIED; });
    return 0;
  }
  return 101;
}
