#pragma once
// Running copies of the target program: bring one with a window to the front, or end them all.

#include <windows.h>

#include <string>

// The window search of one process id, filled by FindTargetWindowProc.
struct TargetWindowSearch {
  HWND window = nullptr;
  DWORD processId = 0;
};

// true: start the target (copies without a window, or all copies with forceRun, were ended).
// false: a copy with a window runs; it was brought to the front and the user was told.
bool CheckRunningTarget(std::wstring name, bool forceRun);

// Ends every copy of `name` in this session and waits a little for them to go.
void TerminateTargetProcesses(const std::wstring& name);

void EnableDebugPrivilege();

// EnumWindows callback; `search` is a TargetWindowSearch*.
BOOL CALLBACK FindTargetWindowProc(HWND window, LPARAM search);
