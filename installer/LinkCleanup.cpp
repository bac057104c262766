#include "LinkCleanup.h"

#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <optional>

#include "CleanupTargets.h"
#include "SamePath.h"
#include "ShortcutNames.h"
#include "WinHandles.h"

namespace {

// Registry values past this are no open command of ours; they are left as they are.
constexpr DWORD kMaxCommandBytes = 64 * 1024;

std::optional<std::wstring> ReadOpenCommand(HKEY classes, const std::wstring& scheme) {
  const std::wstring key = scheme + L"\\shell\\open\\command";
  DWORD bytes = 0;
  if (RegGetValueW(classes, key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS ||
      bytes > kMaxCommandBytes) {
    return std::nullopt;
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(classes, key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                   &text[0], &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

std::optional<std::wstring> ShortcutTarget(const std::wstring& file) {
  portico::ComPtr<IShellLinkW> link;
  portico::ComPtr<IPersistFile> persist;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      FAILED(link.QueryInterface(IID_IPersistFile, persist)) || FAILED(persist->Load(file.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  // The raw path, never resolved: resolving could search the disk and lead the comparison elsewhere.
  wchar_t target[MAX_PATH] = {};
  if (link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK || !*target) return std::nullopt;
  return std::wstring(target);
}

std::optional<std::wstring> ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) || !*path) return std::nullopt;
  return std::wstring(path);
}

}  // namespace

bool RemoveSchemeIfOurs(bool machineWide, const std::wstring& scheme, const std::wstring& launcherPath) {
  // The machine's classes are named outright: HKEY_CLASSES_ROOT of the process that runs the
  // uninstall would merge in its own user's classes and could send the removal there.
  const REGSAM view = machineWide ? KEY_WOW64_64KEY : 0;
  portico::RegKey classes;
  if (RegOpenKeyExW(machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, L"Software\\Classes", 0,
                    KEY_READ | KEY_WRITE | view, classes.put()) != ERROR_SUCCESS) {
    return true;
  }
  const std::optional<std::wstring> command = ReadOpenCommand(classes.get(), scheme);
  if (!command) return true;
  const std::optional<std::wstring> program = ProgramOfOpenCommand(*command);
  if (!program || !SamePath(*program, launcherPath)) return true;
  {
    portico::RegKey key;
    if (RegOpenKeyExW(classes.get(), scheme.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) {
      return false;
    }
    RegDeleteTreeW(key.get(), nullptr);
  }
  return RegDeleteKeyExW(classes.get(), scheme.c_str(), view, 0) == ERROR_SUCCESS;
}

bool RemoveShortcutsIfOurs(bool machineWide, const std::vector<std::wstring>& names, const std::wstring& launcherPath) {
  portico::ComInit com;
  bool clean = true;
  // The machine-wide product's shortcuts belong on the common desktop and Start menu; an installer
  // that put them in its own user's (Wine's msiexec does) leaves them there, so those are looked at
  // too. Only shortcuts to this launcher go.
  std::vector<int> folders = {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS};
  if (machineWide) folders.insert(folders.begin(), {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS});
  for (int csidl : folders) {
    const std::optional<std::wstring> folder = ShellFolder(csidl);
    if (!folder) continue;
    for (const std::wstring& name : names) {
      const std::optional<std::wstring> file = ShortcutFile(*folder, name.c_str());
      if (!file) continue;
      const std::optional<std::wstring> target = ShortcutTarget(*file);
      if (!target || !SamePath(*target, launcherPath)) continue;
      if (!DeleteFileW(file->c_str())) clean = false;
    }
  }
  if (!clean) return false;
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  return true;
}
