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

std::optional<intptr_t> StartTarget(const LauncherLocation& launcher, const std::wstring& targetName,
                                    const std::wstring& parameters) {
  // An empty name would have the shell open a folder window instead of a program.
  if (targetName.empty() || launcher.folder.empty()) return std::nullopt;
  // The full path keeps the shell from picking a program of the same name from the search path.
  // No working folder is given: the target starts in the launcher folder, the current directory.
  const std::wstring target = JoinPath(launcher.folder, targetName);
  // The shell's callers must have COM initialised, in a single-threaded apartment: some handlers
  // it runs rely on it.
  portico::ComInit com;
  return reinterpret_cast<intptr_t>(
      ShellExecuteW(nullptr, L"open", target.c_str(), parameters.c_str(), nullptr, SW_SHOW));
}
