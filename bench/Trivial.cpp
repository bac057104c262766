// The baseline of the start figures: a program that does nothing but record its own start, the way
// SampleClient does ("start pid N at T" in "<program>.record.txt" beside it), and end.
// With /start:PATH it then starts PATH the way the launcher starts its target, as the least any
// launcher must do. Built a second time
// with the launcher's system DLLs loaded, to tell their cost from the launcher's own work; that
// one shows a box like the launcher's with /box, the least a program that shows one must cost.
#include <windows.h>

#include <string>

#ifdef BENCH_LAUNCHER_IMPORTS
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>

// Taking the addresses is enough for the loader to map the DLLs before wWinMain.
void* const volatile kImports[] = {reinterpret_cast<void*>(&GetAsyncKeyState), reinterpret_cast<void*>(&ShellExecuteW),
                                   reinterpret_cast<void*>(&CoInitializeEx), reinterpret_cast<void*>(&RegCloseKey),
                                   reinterpret_cast<void*>(&PathFileExistsW)};
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  FILETIME startedAt{};
  GetSystemTimePreciseAsFileTime(&startedAt);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(startedAt.dwHighDateTime) << 32) | startedAt.dwLowDateTime;

  wchar_t program[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  std::wstring record(program, length);
  record = record.substr(0, record.find_last_of(L'.')) + L".record.txt";
  const std::string line = "start pid " + std::to_string(GetCurrentProcessId()) + " at " + std::to_string(ticks) + "\n";
  HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);

#ifdef BENCH_LAUNCHER_IMPORTS
  if (wcsstr(commandLine, L"/box")) MessageBoxW(nullptr, L"Another program is already in progress!", L"Prompt", 0);
#endif
  const wchar_t* start = wcsstr(commandLine, L"/start:");
  if (!start) return 0;
  // Started as the launcher starts its target: by its full path as the application name, in its
  // own folder, with a console of its own, shown.
  const std::wstring path = start + 7;
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  std::wstring target = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path.c_str(), target.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, folder.c_str(),
                      &startup, &process)) {
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
