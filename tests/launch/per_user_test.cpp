// What sets the per-user launcher apart beyond the roads both take: it writes nothing for the
// machine, counts only its own user's copies, and never reaches for the debug privilege.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>

#include "DialogHelper.h"
#include "Installation.h"
#include "InstanceControl.h"
#include "LauncherVariant.h"
#include "Launchers.h"
#include "ShellLinks.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace {

using rig::Installation;

// Every key below a root, with its value count and last-write time: a value written or a key made
// anywhere below shows.
using KeyStates = std::map<std::wstring, std::pair<DWORD, ULONGLONG>>;

void CollectKeys(HKEY parent, const std::wstring& name, const std::wstring& path, KeyStates& states) {
  portico::RegKey key;
  if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  DWORD values = 0;
  FILETIME written{};
  RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                   nullptr, &written);
  states[path] = {values, (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime};
  wchar_t subkey[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key.get(), i, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const std::wstring child(subkey, length);
    CollectKeys(key.get(), child, path + L"\\" + child, states);
  }
}

KeyStates MachineKeys() {
  KeyStates states;
  CollectKeys(HKEY_LOCAL_MACHINE, L"", L"HKLM", states);
  return states;
}

// Each file of a folder with its bytes.
std::map<fs::path, std::string> FilesOf(const fs::path& folder) {
  std::map<fs::path, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[entry.path()] = rig::ReadFile(entry.path());
  }
  return files;
}

TEST(PerUser, WritesNothingForTheMachine) {
  portico::ComInit com;
  Installation install(L"install", rig::kPerUserLauncher.file);
  const std::wstring shortcut = rig::UniqueName(L"Per User Shortcut ");
  install.WriteConfig("<shortcut_cn>" + rig::ToUtf8(shortcut) + "</shortcut_cn>");
  // The same old shortcut on both desktops, as a machine-wide and a per-user installation left them.
  const rig::ShortcutContent stale{L"C:\\Old Place\\Client.exe", L"Old", L"", 0, L"C:\\Old Place", L""};
  const fs::path common = rig::KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / (shortcut + L".lnk");
  const fs::path own = rig::KnownFolder(CSIDL_DESKTOPDIRECTORY) / (shortcut + L".lnk");
  ASSERT_TRUE(rig::WriteShortcut(common, stale));
  ASSERT_TRUE(rig::WriteShortcut(own, stale));

  const KeyStates machine = MachineKeys();
  const auto commonDesktop = FilesOf(common.parent_path());
  ASSERT_EQ(install.RunLauncher(L"").exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));

  EXPECT_EQ(MachineKeys(), machine);
  EXPECT_EQ(FilesOf(common.parent_path()), commonDesktop);
  // Under Wine HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes: the scheme is in neither.
  portico::RegKey scheme;
  EXPECT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + install.scheme()).c_str(), 0, KEY_READ, scheme.put()),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, install.scheme().c_str(), 0, KEY_READ, scheme.put()),
            ERROR_FILE_NOT_FOUND);
  // The user's own shortcut was the one refreshed.
  EXPECT_EQ(rig::ReadShortcut(own).value_or(stale).target, install.launcher().wstring());
  fs::remove(common);
  fs::remove(own);
}

TEST(PerUser, ACopyWhoseTokenCannotBeReadCountsAsAnotherUsers) {
  Installation install(L"install", rig::kPerUserLauncher.file);
  install.WriteConfig();
  rig::RunningClient other = install.StartClientOutOfReach(L"normal", true);
  // The machine-wide launcher counts it, and brings it up.
  const fs::path machineWide = install.folder() / rig::kMachineWideLauncher.file;
  fs::copy_file(rig::LauncherUnderTest(), machineWide);
  rig::Debuggee first(machineWide, L"");
  auto box = rig::WaitForMessageBox(first.pid());
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->owner, other.window);
  rig::PressButton(*box, IDOK);
  EXPECT_EQ(first.Wait().exitCode, 0u);
  // The per-user one leaves it alone and starts the user's own copy.
  rig::Debuggee launcher(install.launcher(), L"\"" + install.scheme() + L"://open?id=7\"");
  EXPECT_TRUE(rig::NoMessageBoxFor(launcher.pid(), 1000));
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(2));
  EXPECT_EQ(install.Record().starts.back().arguments, std::vector<std::string>{"open?id=7"});
  EXPECT_EQ(Installation::ExitCodeOf(other), static_cast<DWORD>(STILL_ACTIVE));
}

// The launchers' own instance control in this test process, whose token is the launcher's: a copy of
// the same user that it cannot open leads the machine-wide one to SeDebugPrivilege, never the
// per-user one. Each case runs in a process of its own, since a privilege left enabled would stay.
DWORD DebugPrivilegeAttributes(HANDLE process = GetCurrentProcess()) {
  portico::KernelHandle token;
  OpenProcessToken(process, TOKEN_QUERY, token.put());
  LUID debug{};
  LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &debug);
  alignas(TOKEN_PRIVILEGES) BYTE buffer[4096];
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenPrivileges, buffer, sizeof(buffer), &size)) return 0;
  const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const LUID& luid = privileges->Privileges[i].Luid;
    if (luid.LowPart == debug.LowPart && luid.HighPart == debug.HighPart) return privileges->Privileges[i].Attributes;
  }
  return 0;
}

TEST(DebugPrivilege, TheMachineWideLauncherLeavesItAsItWasAfterACopyItCannotOpen) {
  Installation install;
  rig::RunningClient locked = install.StartClientOutOfReach(L"none", false);
  ASSERT_EQ(DebugPrivilegeAttributes() & SE_PRIVILEGE_ENABLED, 0u);
  EXPECT_TRUE(CheckRunningTarget(install.progName(), true).goAhead);
  EXPECT_EQ(DebugPrivilegeAttributes() & SE_PRIVILEGE_ENABLED, 0u);
  EXPECT_EQ(Installation::ExitCodeOf(locked), static_cast<DWORD>(STILL_ACTIVE));
}

// The launcher as its own process, stopped at each attempt to open the copy to end it: the privilege
// is on for the second attempt only, and the client it then starts inherits it switched off.
TEST(DebugPrivilege, OnlyTheRetryRunsWithItAndTheClientStartedAfterDoesNot) {
  Installation install;
  install.WriteConfig();
  rig::RunningClient locked = install.StartClientOutOfReach(L"none", false);
  std::vector<bool> enabledAtOpen;
  rig::DebuggeeOptions options;
  options.breakOn = {"OpenProcess"};
  options.onBreak = [&](const rig::BreakpointHit& hit) {
    if (hit.context->R8 == locked.pid && hit.context->Rcx == (PROCESS_TERMINATE | SYNCHRONIZE)) {
      enabledAtOpen.push_back((DebugPrivilegeAttributes(hit.process) & SE_PRIVILEGE_ENABLED) != 0);
    }
    return rig::HitAction::Continue;
  };
  EXPECT_EQ(install.RunLauncher(L"\"" + install.scheme() + L"://open?id=7\"", options).exitCode, 0u);
  EXPECT_EQ(enabledAtOpen, (std::vector<bool>{false, true}));
  ASSERT_TRUE(install.WaitForStarts(1));
  const DWORD started = install.Record().starts.at(0).pid;
  portico::KernelHandle client(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, started));
  ASSERT_TRUE(client);
  EXPECT_EQ(DebugPrivilegeAttributes(client.get()) & SE_PRIVILEGE_ENABLED, 0u);
}

TEST(DebugPrivilege, ThePerUserLauncherNeverEnablesItAndStillEndsTheCopiesItCanOpen) {
  Installation install;
  rig::RunningClient locked = install.StartClientOutOfReach(L"none", false);
  rig::RunningClient open = install.StartClient(L"none", false);
  ASSERT_EQ(DebugPrivilegeAttributes() & SE_PRIVILEGE_ENABLED, 0u);
  EXPECT_TRUE(CheckRunningTarget(install.progName(), true, kPerUser).goAhead);
  EXPECT_EQ(DebugPrivilegeAttributes() & SE_PRIVILEGE_ENABLED, 0u);
  EXPECT_EQ(Installation::ExitCodeOf(open, 5000), 0u);
  EXPECT_EQ(Installation::ExitCodeOf(locked), static_cast<DWORD>(STILL_ACTIVE));
}

}  // namespace
