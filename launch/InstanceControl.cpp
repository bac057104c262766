#include "InstanceControl.h"

#include <tlhelp32.h>

#include <utility>
#include <vector>

#include "ConfigStore.h"
#include "LauncherVariant.h"
#include "ProcessUser.h"
#include "WinHandles.h"

namespace {

// Ended copies get this long, in all, to disappear before the launcher goes on: an update
// must not meet files still held by a dying process.
constexpr DWORD kTerminationWaitMs = 5000;
// A copy whose window answers no message within this time counts as hung.
constexpr UINT kResponseProbeMs = 1000;

DWORD OwnSessionId() {
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  return session;
}

// A copy signed in under another user's session is none of this launcher's business.
bool InOwnSession(DWORD processId, DWORD ownSession) {
  DWORD session = 0;
  return ProcessIdToSessionId(processId, &session) && session == ownSession;
}

bool IsCopyOf(const PROCESSENTRY32W& entry, const std::wstring& name, DWORD ownSession,
              const LauncherVariant& variant) {
  return !name.empty() && name == entry.szExeFile && InOwnSession(entry.th32ProcessID, ownSession) &&
         (!variant.sameUserCopiesOnly || RunsAsThisUser(entry.th32ProcessID));
}

// A client that stopped pumping messages would hold every synchronous call into its window (the
// restore, the move to the top, a box it owns) and the launcher with it. SMTO_ABORTIFHUNG answers at
// once for a window the system already knows to be hung.
bool Responds(HWND window) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kResponseProbeMs, &ignored) != 0;
}

// Only asynchronous calls: the client does the work when it next pumps its messages.
void ActivateWindow(HWND window) {
  if (IsIconic(window)) {
    SetFocus(window);
    ShowWindowAsync(window, SW_RESTORE);
  }
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS);
  SetForegroundWindow(window);
}

void TellAlreadyRunning(HWND owner) {
  if (ConfigStore::Instance().chinese) {
    MessageBoxW(owner, L"检测到程序已经在运行!", L"提示", 0);
  } else {
    MessageBoxW(owner, L"Another program is already in progress!", L"Prompt", 0);
  }
}

HWND FindTopLevelWindowOf(DWORD processId) {
  TargetWindowSearch search;
  search.processId = processId;
  EnumWindows(FindTargetWindowProc, reinterpret_cast<LPARAM>(&search));
  return search.window ? search.window : search.fallback;
}

}  // namespace

BOOL CALLBACK FindTargetWindowProc(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TargetWindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  // Hidden helper windows (tray, clipboard, DDE) come and go; the user means the main window.
  if (IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
    search->window = window;
    return FALSE;
  }
  if (!search->fallback) search->fallback = window;
  return TRUE;
}

TargetCheck CheckRunningTarget(std::wstring name, bool forceRun) {
  return CheckRunningTarget(std::move(name), forceRun, kMachineWide);
}

TargetCheck CheckRunningTarget(std::wstring name, bool forceRun, const LauncherVariant& variant) {
  const DWORD ownSession = OwnSessionId();
  portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (snapshot && Process32FirstW(snapshot.get(), &entry)) {
    do {
      if (!IsCopyOf(entry, name, ownSession, variant)) continue;
      if (forceRun) break;
      if (HWND window = FindTopLevelWindowOf(entry.th32ProcessID)) {
        snapshot.reset();
        const bool responds = Responds(window);
        ActivateWindow(window);
        // Owned by a hung window, the box would wait for it to answer; unowned, it shows at once.
        TellAlreadyRunning(responds ? window : nullptr);
        TargetCheck check;
        check.goAhead = false;
        check.activatedProcessId = entry.th32ProcessID;
        check.activatedHung = !responds;
        return check;
      }
    } while (Process32NextW(snapshot.get(), &entry));
  }
  snapshot.reset();
  Termination termination = TerminateTargetProcesses(name, variant);
  TargetCheck check;
  check.copiesFound = termination.found;
  check.ended = std::move(termination.ended);
  return check;
}

Termination TerminateTargetProcesses(const std::wstring& name) { return TerminateTargetProcesses(name, kMachineWide); }

Termination TerminateTargetProcesses(const std::wstring& name, const LauncherVariant& variant) {
  const DWORD ownSession = OwnSessionId();
  Termination termination;
  // Grows as needed: however many copies run, each is ended and none overruns a table.
  std::vector<std::pair<portico::KernelHandle, DWORD>> copies;
  {
    portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return termination;
    do {
      if (!IsCopyOf(entry, name, ownSession, variant)) continue;
      ++termination.found;
      portico::KernelHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
      if (!process && variant.mayEnableDebugPrivilege) {
        EnableDebugPrivilege();
        process.reset(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
      }
      if (process) copies.emplace_back(std::move(process), entry.th32ProcessID);
    } while (Process32NextW(snapshot.get(), &entry));
  }
  for (const auto& [process, id] : copies) {
    if (TerminateProcess(process.get(), 0)) termination.ended.push_back(id);
  }

  const ULONGLONG deadline = GetTickCount64() + kTerminationWaitMs;
  for (const auto& copy : copies) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    WaitForSingleObject(copy.first.get(), static_cast<DWORD>(deadline - now));
  }
  return termination;
}

void EnableDebugPrivilege() {
  portico::KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid);
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}
