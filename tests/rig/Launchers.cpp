#include "Launchers.h"

namespace rig {

namespace {
const Classes kMachineClasses = {HKEY_CLASSES_ROOT, L""};
const Classes kUserClasses = {HKEY_CURRENT_USER, L"Software\\Classes"};
}  // namespace

const LauncherKind kMachineWideLauncher = {"MachineWide", L"Portico.exe", kMachineClasses, kUserClasses};
const LauncherKind kPerUserLauncher = {"PerUser", L"PorticoUser.exe", kUserClasses, kMachineClasses};
const LauncherKind kLaunchers[2] = {kMachineWideLauncher, kPerUserLauncher};

std::wstring Classes::SchemeKey(const std::wstring& scheme) const {
  return *path ? std::wstring(path) + L"\\" + scheme : scheme;
}

}  // namespace rig
