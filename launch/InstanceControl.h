#pragma once
// Running copies of the target program: bring one with a window to the front, or end them all.

#include <windows.h>

#include <string>
#include <vector>

struct LauncherVariant;

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
  bool activatedHung = false;    // its window did not answer
  int copiesFound = 0;           // copies counted before the start, when goAhead is true
  std::vector<DWORD> ended;      // the ids of those that were ended
};
TargetCheck CheckRunningTarget(std::wstring name, bool forceRun);
// The same over the copies the variant counts: those in this session, and with sameUserCopiesOnly
// only those run by the launcher's own user.
TargetCheck CheckRunningTarget(std::wstring name, bool forceRun, const LauncherVariant& variant);

struct Termination {
  int found = 0;             // copies counted
  std::vector<DWORD> ended;  // the ids of those ended
};
// Ends every copy of `name` in this session and waits a little for them to go.
Termination TerminateTargetProcesses(const std::wstring& name);
// The same over the copies the variant counts; SeDebugPrivilege only where the variant may use it.
Termination TerminateTargetProcesses(const std::wstring& name, const LauncherVariant& variant);

void EnableDebugPrivilege();

// EnumWindows callback; `search` is a TargetWindowSearch*.
BOOL CALLBACK FindTargetWindowProc(HWND window, LPARAM search);
