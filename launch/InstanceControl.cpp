#include "InstanceControl.h"

#include <tlhelp32.h>

#include <vector>

#include "ConfigStore.h"
#include "WinHandles.h"

namespace {

// Ended copies get this long, in all, to disappear before the launcher goes on: an update
// must not meet files still held by a dying process.
constexpr DWORD kTerminationWaitMs = 5000;

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

bool IsCopyOf(const PROCESSENTRY32W& entry, const std::wstring& name, DWORD ownSession) {
  return !name.empty() && name == entry.szExeFile && InOwnSession(entry.th32ProcessID, ownSession);
}

void ActivateWindow(HWND window) {
  if (IsIconic(window)) {
    SetFocus(window);
    ShowWindow(window, SW_RESTORE);
  }
  BringWindowToTop(window);
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
  return search.window;
}

}  // namespace

BOOL CALLBACK FindTargetWindowProc(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TargetWindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  search->window = window;
  return FALSE;
}

bool CheckRunningTarget(std::wstring name, bool forceRun) {
  const DWORD ownSession = OwnSessionId();
  portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (snapshot && Process32FirstW(snapshot.get(), &entry)) {
    do {
      if (!IsCopyOf(entry, name, ownSession)) continue;
      if (forceRun) break;
      if (HWND window = FindTopLevelWindowOf(entry.th32ProcessID)) {
        snapshot.reset();
        ActivateWindow(window);
        TellAlreadyRunning(window);
        return false;
      }
    } while (Process32NextW(snapshot.get(), &entry));
  }
  snapshot.reset();
  TerminateTargetProcesses(name);
  return true;
}

void TerminateTargetProcesses(const std::wstring& name) {
  const DWORD ownSession = OwnSessionId();
  // Grows as needed: however many copies run, each is ended and none overruns a table.
  std::vector<portico::KernelHandle> copies;
  {
    portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return;
    do {
      if (!IsCopyOf(entry, name, ownSession)) continue;
      portico::KernelHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
      if (!process) {
        EnableDebugPrivilege();
        process.reset(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
      }
      if (process) copies.push_back(std::move(process));
    } while (Process32NextW(snapshot.get(), &entry));
  }
  for (const auto& process : copies) TerminateProcess(process.get(), 0);

  const ULONGLONG deadline = GetTickCount64() + kTerminationWaitMs;
  for (const auto& process : copies) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    WaitForSingleObject(process.get(), static_cast<DWORD>(deadline - now));
  }
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
