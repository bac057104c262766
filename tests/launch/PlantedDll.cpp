// A DLL planted beside a program under the name of a system DLL. When it is loaded, it leaves
// "<its path>.<process id>.loaded" holding the path of the program that loaded it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t marker[MAX_PATH] = {};
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(instance, marker, MAX_PATH - 32);
  const DWORD programLength = GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 32 || programLength == 0) return TRUE;
  wsprintfW(marker + length, L".%lu.loaded", GetCurrentProcessId());
  HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, program, programLength * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
  }
  return TRUE;
}
