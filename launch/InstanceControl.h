#pragma once
// Running copies of the target program: bring one with a window to the front, or end them all.

#include <windows.h>

#include <string>
#include <vector>

#include "WinHandles.h"

struct LauncherVariant;

// The window search of one process id, filled by FindTargetWindowProc.
struct TargetWindowSearch {
  HWND window = nullptr;    // its first visible, unowned top-level window
  HWND fallback = nullptr;  // its first top-level window of any kind
  DWORD processId = 0;
};

// Which processes count as running copies, and what the user is told.
struct CopySearch {
  std::wstring name;  // the image file name, compared exactly
  bool forceRun = false;
  const LauncherVariant* variant = nullptr;  // null: the machine-wide launcher's rules
  // A copy whose image lies in another folder is none: neither ended nor brought up. Empty: any folder.
  std::wstring folder;
  bool announce = true;  // the "already running" box, when a copy is brought up
  // false: copies without a window are counted but left running, since they may have only just started.
  bool endCopiesWithoutWindow = true;
};

struct TargetCheck {
  // true: start the target (copies without a window, or all copies with forceRun, were ended).
  // false: a copy with a window runs; it was brought to the front and the user was told.
  bool goAhead = true;
  DWORD activatedProcessId = 0;  // the copy brought to the front, when goAhead is false
  // Held from the moment the copy was found, so that its id names no other process later; null when
  // the copy could not be opened even to query it.
  portico::KernelHandle activatedProcess;
  bool activatedHung = false;  // its window did not answer
  int copiesFound = 0;         // copies counted before the start, when goAhead is true
  std::vector<DWORD> ended;    // the ids of those that were ended
};
TargetCheck CheckRunningTarget(const CopySearch& search);
// Copies in any folder, as the variant counts them: those in this session, and with
// sameUserCopiesOnly only those run by the launcher's own user.
TargetCheck CheckRunningTarget(std::wstring name, bool forceRun);
TargetCheck CheckRunningTarget(std::wstring name, bool forceRun, const LauncherVariant& variant);

// After a failed hand-off: whether the copy brought up has gone, or is going (no window of it shows;
// hidden ones may stay until it ends) and ended within a short wait. False when it was never opened.
bool CopyWentAway(const TargetCheck& running);

struct Termination {
  int found = 0;             // copies counted
  std::vector<DWORD> ended;  // the ids of those ended
};
// Ends every copy of `name` in this session and waits a little for them to go.
Termination TerminateTargetProcesses(const std::wstring& name);
// The same over the copies the search counts; SeDebugPrivilege only where the variant may use it,
// and only around the second attempt to open a copy.
Termination TerminateTargetProcesses(const CopySearch& search);

// EnumWindows callback; `search` is a TargetWindowSearch*.
BOOL CALLBACK FindTargetWindowProc(HWND window, LPARAM search);
