// Loads each DLL named on its command line (names without blanks) by name alone, as the shell and
// the box load theirs: the control that shows where Wine looks when nothing restricts the search.
// It imports nothing beyond kernel32, so that none of the names is loaded before it asks.
#include <windows.h>

#include <cwctype>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  std::wstring name;
  for (const wchar_t* c = commandLine;; ++c) {
    if (*c && !std::iswspace(*c)) {
      name += *c;
      continue;
    }
    if (!name.empty()) LoadLibraryW(name.c_str());
    name.clear();
    if (!*c) return 0;
  }
}
