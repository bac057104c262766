#include "InstanceControl.h"

#include <tlhelp32.h>

#include <optional>
#include <utility>
#include <vector>

#include "ConfigStore.h"
#include "CopyImage.h"
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

// An id names a process only while someone holds it open: once a copy ends, its id may be given to
// another process. So each copy is held from the find on, with the rights to query it and wait for
// it; the right to end it is asked for only where it is ended.
constexpr DWORD kLookRights = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
constexpr DWORD kEndRights = PROCESS_TERMINATE | SYNCHRONIZE;
// A copy whose windows are gone is closing: it gets this long to end before its link starts a new one.
constexpr DWORD kClosingCopyWaitMs = 5000;
// QueryFullProcessImageNameW takes no more than the longest path Windows has.
constexpr DWORD kImagePathRoom = 32768;

bool HasEnded(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The long form of a path, so that an 8.3 spelling of the same folder compares equal; the path itself
// when it has none.
std::wstring LongForm(const std::wstring& path) {
  std::vector<wchar_t> buffer(kImagePathRoom);
  const DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), kImagePathRoom);
  return (length == 0 || length >= kImagePathRoom) ? path : std::wstring(buffer.data(), length);
}

// A process of the right name can still be a program of the same name elsewhere: only an image in
// the launcher's folder is the target. An image that cannot be read (another user's process) is
// taken by its name, as before.
bool LiesInFolder(HANDLE process, const CopySearch& search) {
  if (search.folder.empty()) return true;
  std::vector<wchar_t> image(kImagePathRoom);
  DWORD length = kImagePathRoom;
  if (!QueryFullProcessImageNameW(process, 0, image.data(), &length)) return true;
  const ImagePlace place = PlaceOfImage(std::wstring(image.data(), length));
  return place.fileName == search.name &&
         (SameFolder(place.folder, search.folder) || SameFolder(LongForm(place.folder), LongForm(search.folder)));
}

// A copy found in the snapshot, held open from now on. Absent when the id now names a process that
// ended, or a program of the same name in another folder. The handle is null when the process
// cannot be opened even to query it.
struct FoundCopy {
  DWORD id = 0;
  portico::KernelHandle process;
};
std::optional<FoundCopy> OpenCopy(DWORD id, const CopySearch& search) {
  FoundCopy copy{id, portico::KernelHandle(OpenProcess(kLookRights, FALSE, id))};
  if (copy.process && (HasEnded(copy.process.get()) || !LiesInFolder(copy.process.get(), search))) return std::nullopt;
  return copy;
}

// SeDebugPrivilege for the life of the object, then the token as it was: a client started later
// inherits the launcher's token and must not get the privilege enabled.
class DebugPrivilegeScope {
 public:
  DebugPrivilegeScope() {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put())) return;
    TOKEN_PRIVILEGES enable{};
    enable.PrivilegeCount = 1;
    enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &enable.Privileges[0].Luid)) return;
    DWORD size = 0;
    // The previous state lists only what the call changed: nothing when it was enabled already.
    adjusted_ = AdjustTokenPrivileges(token_.get(), FALSE, &enable, sizeof(previous_), &previous_, &size) &&
                GetLastError() == ERROR_SUCCESS;
  }
  ~DebugPrivilegeScope() {
    if (adjusted_ && previous_.PrivilegeCount > 0)
      AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
  }
  DebugPrivilegeScope(const DebugPrivilegeScope&) = delete;
  DebugPrivilegeScope& operator=(const DebugPrivilegeScope&) = delete;

 private:
  portico::KernelHandle token_;
  TOKEN_PRIVILEGES previous_{};
  bool adjusted_ = false;
};

const LauncherVariant& VariantOf(const CopySearch& search) { return search.variant ? *search.variant : kMachineWide; }

// A handle that may end the copy; null when it cannot be opened to end it. Held by `copy`, the
// process keeps its id, so the id still names it. Not held (it could not even be queried), the id
// may name another process by now: the handle is then opened with the right to query too and
// checked as a find is, and absent when it names no copy.
std::optional<portico::KernelHandle> OpenToEnd(const FoundCopy& copy, const CopySearch& search) {
  const DWORD rights = copy.process ? kEndRights : kEndRights | PROCESS_QUERY_LIMITED_INFORMATION;
  portico::KernelHandle process(OpenProcess(rights, FALSE, copy.id));
  if (!process && VariantOf(search).mayEnableDebugPrivilege) {
    const DebugPrivilegeScope debug;
    process.reset(OpenProcess(rights, FALSE, copy.id));
  }
  if (process && !copy.process && (HasEnded(process.get()) || !LiesInFolder(process.get(), search))) {
    return std::nullopt;
  }
  return process;
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

TargetWindowSearch SearchWindowsOf(DWORD processId) {
  TargetWindowSearch search;
  search.processId = processId;
  EnumWindows(FindTargetWindowProc, reinterpret_cast<LPARAM>(&search));
  return search;
}

HWND FindTopLevelWindowOf(DWORD processId) {
  const TargetWindowSearch search = SearchWindowsOf(processId);
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
  CopySearch search;
  search.name = std::move(name);
  search.forceRun = forceRun;
  search.variant = &variant;
  return CheckRunningTarget(search);
}

TargetCheck CheckRunningTarget(const CopySearch& search) {
  const LauncherVariant& variant = VariantOf(search);
  const DWORD ownSession = OwnSessionId();
  portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  int withoutWindow = 0;
  if (snapshot && Process32FirstW(snapshot.get(), &entry)) {
    do {
      if (!IsCopyOf(entry, search.name, ownSession, variant)) continue;
      if (search.forceRun) break;
      std::optional<FoundCopy> copy = OpenCopy(entry.th32ProcessID, search);
      if (!copy) continue;
      if (HWND window = FindTopLevelWindowOf(copy->id)) {
        snapshot.reset();
        const bool responds = Responds(window);
        ActivateWindow(window);
        // Owned by a hung window, the box would wait for it to answer; unowned, it shows at once.
        if (search.announce) TellAlreadyRunning(responds ? window : nullptr);
        TargetCheck check;
        check.goAhead = false;
        check.activatedProcessId = copy->id;
        check.activatedProcess = std::move(copy->process);
        check.activatedHung = !responds;
        return check;
      }
      ++withoutWindow;
    } while (Process32NextW(snapshot.get(), &entry));
  }
  snapshot.reset();
  if (!search.endCopiesWithoutWindow) {
    TargetCheck check;
    check.copiesFound = withoutWindow;
    return check;
  }
  Termination termination = TerminateTargetProcesses(search);
  TargetCheck check;
  check.copiesFound = termination.found;
  check.ended = std::move(termination.ended);
  return check;
}

bool CopyWentAway(const TargetCheck& running) {
  const HANDLE process = running.activatedProcess.get();
  if (!process) return false;
  if (HasEnded(process)) return true;
  // A copy that still shows a window is there; it just did not take the link. Hidden windows (the
  // IME's, a helper's) can outlive the main one until the closing process's threads end.
  if (SearchWindowsOf(running.activatedProcessId).window) return false;
  return WaitForSingleObject(process, kClosingCopyWaitMs) == WAIT_OBJECT_0;
}

Termination TerminateTargetProcesses(const std::wstring& name) {
  CopySearch search;
  search.name = name;
  return TerminateTargetProcesses(search);
}

Termination TerminateTargetProcesses(const CopySearch& search) {
  const LauncherVariant& variant = VariantOf(search);
  const DWORD ownSession = OwnSessionId();
  Termination termination;
  // Grows as needed: however many copies run, each is ended and none overruns a table. Each keeps
  // the handle it was found with until it is gone.
  std::vector<std::pair<FoundCopy, portico::KernelHandle>> copies;
  {
    portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return termination;
    do {
      if (!IsCopyOf(entry, search.name, ownSession, variant)) continue;
      std::optional<FoundCopy> copy = OpenCopy(entry.th32ProcessID, search);
      if (!copy) continue;
      std::optional<portico::KernelHandle> end = OpenToEnd(*copy, search);
      if (!end) continue;
      ++termination.found;
      // Ended through the handle it was opened by: the one that was checked.
      if (*end) copies.emplace_back(std::move(*copy), std::move(*end));
    } while (Process32NextW(snapshot.get(), &entry));
  }
  for (const auto& [copy, end] : copies) {
    if (TerminateProcess(end.get(), 0)) termination.ended.push_back(copy.id);
  }

  const ULONGLONG deadline = GetTickCount64() + kTerminationWaitMs;
  for (const auto& copy : copies) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    WaitForSingleObject(copy.second.get(), static_cast<DWORD>(deadline - now));
  }
  return termination;
}
