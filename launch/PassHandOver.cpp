#include "PassHandOver.h"

#include <windows.h>

#include <vector>

#include "FileLog.h"
#include "LaunchText.h"
#include "NarrowText.h"
#include "OrphanName.h"
#include "PassRunnerText.h"
#include "UpdateKeeps.h"
#include "WinHandles.h"

namespace {

// The launcher is about to return when it starts its copy; only a debugger could hold it this long.
constexpr DWORD kLauncherEndBoundMs = 120000;
// No serial of an update pass's own orphans: those count from 1.
constexpr uint32_t kCopySerial = 0;

std::wstring OwnImagePath() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(buffer, length);
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The long name and, where the volume keeps one, the short (8.3) name: an entry may take either.
std::vector<std::wstring> OwnImageNames() {
  const std::wstring path = OwnImagePath();
  if (path.empty()) return {};
  std::vector<std::wstring> names = {FileNameOf(path)};
  wchar_t shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
  if (length != 0 && length < MAX_PATH) {
    const std::wstring shortName = FileNameOf(std::wstring(shortPath, length));
    if (!SameName(shortName, names.front())) names.push_back(shortName);
  }
  return names;
}

// By identity, not by spelling: a folder has long and short names, and any letter case.
bool SameFolder(const std::wstring& a, const std::wstring& b) {
  BY_HANDLE_FILE_INFORMATION infoA{};
  BY_HANDLE_FILE_INFORMATION infoB{};
  const auto open = [](const std::wstring& folder) {
    return portico::FileHandle(CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  };
  const portico::FileHandle folderA = open(a);
  const portico::FileHandle folderB = open(b);
  return folderA && folderB && GetFileInformationByHandle(folderA.get(), &infoA) &&
         GetFileInformationByHandle(folderB.get(), &infoB) &&
         infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
         infoA.nFileIndexLow == infoB.nFileIndexLow;
}

// The program file of the process the handle stands for; empty when it is no process handle.
std::wstring ImageOf(HANDLE process) {
  wchar_t buffer[MAX_PATH];
  DWORD length = MAX_PATH;
  if (!QueryFullProcessImageNameW(process, 0, buffer, &length) || length >= MAX_PATH) return {};
  return std::wstring(buffer, length);
}

bool StartCopy(const std::wstring& copyPath, const std::wstring& folder, const std::wstring& commandLine) {
  // The copy inherits this one handle to wait on, with no more rights than that needs.
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                       SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0)) {
    return false;
  }
  const portico::KernelHandle original(self);
  std::wstring line = L"\"" + copyPath + L"\" " + PassRunnerArguments(reinterpret_cast<uintptr_t>(self), commandLine);
  // Its records go where this launcher's standard error goes.
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(copyPath.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                      &started)) {
    return false;
  }
  const portico::KernelHandle process(started.hProcess);
  const portico::KernelHandle thread(started.hThread);
  // The user started this launcher, not its copy: the right to bring the client to the front passes on.
  AllowSetForegroundWindow(started.dwProcessId);
  return true;
}

bool HandPassToCopy(const LauncherLocation& launcher, const std::wstring& commandLine) {
  const std::wstring image = OwnImagePath();
  std::wstring folder = launcher.folder;
  if (image.empty() || folder.empty()) return false;
  if (folder.back() != L'\\') folder += L'\\';
  const std::wstring copyPath = folder + OrphanName(GetCurrentProcessId(), kCopySerial);
  // A file of that name is one a dead launcher left, swept like every orphan.
  if (!CopyFileW(image.c_str(), copyPath.c_str(), FALSE)) return false;
  if (!StartCopy(copyPath, launcher.folder, commandLine)) {
    DeleteFileW(copyPath.c_str());
    return false;
  }
  PORTICO_FILE_LOG << "update: update.zip replaces the launcher itself; the pass goes on in "
                   << NarrowText(FileNameOf(copyPath)) << " once this launcher has ended";
  return true;
}

}  // namespace

PassRunner RecognisePassRunner(const wchar_t* commandLine) {
  PassRunner runner;
  const PassRunnerRequest request = SplitPassRunner(commandLine ? commandLine : L"");
  runner.commandLine = request.commandLine;
  const std::wstring own = OwnImagePath();
  if (!request.found || !IsOrphanName(FileNameOf(own))) {
    runner.commandLine = commandLine ? commandLine : L"";
    return runner;
  }
  // Whatever value is given, only a process handle this copy inherited answers for it.
  portico::KernelHandle original(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(request.originalHandle)));
  const std::wstring launcher = GetProcessId(original.get()) != 0 ? ImageOf(original.get()) : std::wstring();
  // It stands only for a launcher beside it, never for another copy. A copy started otherwise does
  // nothing: run as a launcher, it would register and link its own passing file.
  if (launcher.empty() || IsOrphanName(FileNameOf(launcher)) || !SameFolder(FolderOf(launcher), FolderOf(own))) {
    original.release();  // the value was no handle of ours to close
    runner.refused = true;
    return runner;
  }
  WaitForSingleObject(original.get(), kLauncherEndBoundMs);
  runner.active = true;
  runner.launcher.path = launcher;
  runner.launcher.folder = FolderOf(launcher);
  return runner;
}

UpdatePass ExtractUpdateOrHandOver(const UpdateTrust& trust, const LauncherLocation& launcher,
                                   const std::wstring& commandLine, const std::wstring& logFileSetting) {
  const FileList neverRemove = [&] { return FilesNoUpdateRemoves(logFileSetting, launcher); };
  UpdatePass pass;
  pass.extraction = ExtractUpdatePackage(trust, OwnImageNames(), neverRemove);
  if (!pass.extraction.stoppedAtNamedFile) return pass;
  pass.handedOver = HandPassToCopy(launcher, commandLine);
  // Without a copy the pass runs here, and the running launcher is moved aside as it must be.
  if (!pass.handedOver) pass.extraction = ExtractUpdatePackage(trust, {}, neverRemove);
  return pass;
}
