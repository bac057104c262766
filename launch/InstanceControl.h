#pragma once
// Running copies of the target program: bring one with a window to the front, or end them all.

#include <windows.h>

#include <string>

// The window search of one process id, filled by FindTargetWindowProc.
struct TargetWindowSearch {
  HWND window = nullptr;    // its first visible, unowned top-level window
  HWND fallback = nullptr;  // its first top-level window of any kind
  DWORD processId = 0;
};

struct TargetCheck {
  // true: start the target (copies without a window, or all copies with forceRun, were ended).
  // false: a copy with a window runs; it was brought to the front and the user was told.
  bool goAhead = true;
  DWORD activatedProcessId = 0;  // the copy brought to the front, when goAhead is false
};
TargetCheck CheckRunningTarget(std::wstring name, bool forceRun);

// Ends every copy of `name` in this session and waits a little for them to go.
void TerminateTargetProcesses(const std::wstring& name);

void EnableDebugPrivilege();

// EnumWindows callback; `search` is a TargetWindowSearch*.
BOOL CALLBACK FindTargetWindowProc(HWND window, LPARAM search);
