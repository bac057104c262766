#include "LaunchSteps.h"

#include <shellapi.h>

#include <optional>

#include "DesktopShortcut.h"
#include "FolderTrust.h"
#include "LaunchText.h"
#include "WinHandles.h"

namespace {

constexpr DWORD kPathBuffer = 260;

const wchar_t* AbsentIfEmpty(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

bool KeyDown(int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }

bool RunsElevated() {
  portico::KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated != 0;
}

// A program whose manifest demands administrator rights, started by the launcher that has none (the
// per-user one): only the elevation prompt can start it. The "runas" verb asks for that prompt.
TargetStart StartThroughElevationPrompt(const std::wstring& target, const std::wstring& parameters,
                                        const std::wstring& folder) {
  // The shell's callers must have COM initialised, in a single-threaded apartment.
  portico::ComInit com;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = target.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOW;
  if (ShellExecuteExW(&info)) return {TargetStart::Outcome::ElevatedStarted, 0, 0};
  return {TargetStart::Outcome::ElevatedFailed, GetLastError(), 0};
}

}  // namespace

void RestrictDllSearchToSystem32() {
  // Looked up, not imported: Windows 7 has the call only with its update KB2533623, and without it
  // the launcher would not start at all.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault) {
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    SetDllDirectoryW(L"");  // at least the current folder leaves the search
  }
}

LauncherLocation GetLauncherLocation(HINSTANCE instance) {
  wchar_t buffer[kPathBuffer] = {};
  DWORD length = GetModuleFileNameW(instance, buffer, kPathBuffer);
  // A path that fills the buffer was cut: a cut path names some other file, so there is none.
  if (length == 0 || length >= kPathBuffer) return {};
  LauncherLocation launcher;
  launcher.path.assign(buffer, length);
  launcher.folder = FolderOf(launcher.path);
  return launcher;
}

bool EnterLauncherFolder(const LauncherLocation& launcher) {
  return !launcher.folder.empty() && SetCurrentDirectoryW(launcher.folder.c_str());
}

int RefreshShortcutFor(const ProductConfig& config, const LauncherLocation& launcher, const LauncherVariant& variant) {
  const bool chinese = ConfigStore::Instance().chinese;
  const std::wstring& oldName = chinese ? config.shortcut_cn : config.shortcut_en;
  const std::wstring& newName = chinese ? config.shortcut_new_cn : config.shortcut_new_en;
  const std::wstring shortName = ShortName(config.ProgName);
  const std::optional<std::wstring> iconPath = IconPathFor(launcher.folder, shortName);
  return RefreshDesktopShortcut(variant, AbsentIfEmpty(oldName), AbsentIfEmpty(newName), AbsentIfEmpty(launcher.path),
                                shortName.c_str(), iconPath ? iconPath->c_str() : nullptr,
                                AbsentIfEmpty(launcher.folder));
}

std::optional<int> RefreshShortcutIfTrusted(const FolderJudgement& folder, const ProductConfig& config,
                                            const LauncherLocation& launcher, const LauncherVariant& variant) {
  if (!folder.trusted()) return std::nullopt;
  return RefreshShortcutFor(config, launcher, variant);
}

bool AdminHintKeysHeld() { return KeyDown(VK_CONTROL) && KeyDown(VK_MENU); }

TargetStart StartTarget(const LauncherLocation& launcher, const std::wstring& targetName,
                        const std::wstring& parameters) {
  // A script would run in the command interpreter; a name with a folder, somewhere else.
  if (!IsBareFileName(targetName) || IsCommandScriptName(targetName) || launcher.folder.empty()) return {};
  const std::wstring target = JoinPath(launcher.folder, targetName);
  std::wstring commandLine = TargetCommandLine(target, parameters);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION started = {};
  // The application name is given, so the command line's first word is never searched for. A console
  // of its own, as the shell gave it: a console target gets its window, and none of the launcher's
  // standard handles (a log redirected to a file) passes to the target, which would hold it open.
  if (CreateProcessW(target.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                     launcher.folder.c_str(), &startup, &started)) {
    portico::KernelHandle process(started.hProcess);
    portico::KernelHandle thread(started.hThread);
    return {TargetStart::Outcome::Started, 0, started.dwProcessId};
  }
  const DWORD error = GetLastError();
  if (!RetryThroughElevationPrompt(error, RunsElevated())) return {TargetStart::Outcome::Failed, error, 0};
  return StartThroughElevationPrompt(target, parameters, launcher.folder);
}
