// PorticoCleanup.exe: run by the product's MSI from its installed copy when the product is removed
// (not when a newer version replaces it). It removes what the launcher and its updates added and
// Windows Installer does not know of, in this order: the scheme's key and the shortcuts while they
// point at this installation's launcher, then the contents of the installation folder but itself.
// Exit code 0 (all gone), 1 (something stays), 2 (refused: wrong arguments, or no launcher beside it).
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "CleanupTargets.h"
#include "ConfigStore.h"
#include "ConfigStoreBuild.h"
#include "FolderCleanup.h"
#include "LinkCleanup.h"

namespace {

std::wstring OwnPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

bool IsPlainFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

void NoReport() {}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  const std::optional<bool> machineWide = MachineWideFromArguments(commandLine);
  if (!machineWide) return 2;
  const std::wstring self = OwnPath();
  const std::size_t slash = self.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash == 0) return 2;
  const std::wstring folder = self.substr(0, slash);
  const std::wstring launcher = folder + (*machineWide ? L"\\Portico.exe" : L"\\PorticoUser.exe");
  // Only beside its launcher: a copy run from anywhere else empties nothing.
  if (!IsPlainFile(launcher)) return 2;

  // No message box when the configuration cannot be read: the uninstall may run silently.
  const std::unique_ptr<ConfigStore> store = BuildConfigStore(launcher, NoReport);
  ProductConfig config;
  std::vector<LaunchArgument> unused;
  if (store->loaded) store->FillProductConfig(config, unused);

  bool clean = true;
  if (!config.Protocol.empty()) clean = RemoveSchemeIfOurs(*machineWide, config.Protocol, launcher) && clean;
  clean = RemoveShortcutsIfOurs(*machineWide, ShortcutNamesOf(config), launcher) && clean;
  clean = EmptyInstallation(folder, self.substr(slash + 1)) && clean;
  return clean ? 0 : 1;
}
