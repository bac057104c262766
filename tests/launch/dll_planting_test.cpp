// DLLs planted in the launcher's folder under the names of system DLLs that the shell, the message
// box and the shell-link object load while the launcher runs. The elevated launcher must load none
// of them, on any road.
#include <windows.h>

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "DialogHelper.h"
#include "Installation.h"
#include "WinHandles.h"

namespace {

namespace fs = std::filesystem;

// version.dll is left out: under Wine it is a static import of Wine's own system DLLs and loads
// before the launcher runs any code, so no call of the launcher can keep it out here. (Wine also
// ignores the load configuration's DependentLoadFlags, which would cover such imports on Windows.)
const std::vector<std::wstring> kPlanted = {L"uxtheme", L"dwmapi", L"linkinfo", L"propsys", L"windowscodecs"};

// Wine prefers its own copy of some of these to a DLL beside the program, unless its settings for
// the program say otherwise; Windows takes the one beside the program for any DLL outside its known
// list. With this, Wine searches as Windows does for that program.
class SearchedAsWindowsDoes {
 public:
  explicit SearchedAsWindowsDoes(const std::wstring& program)
      : key_(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\" + program) {
    const std::wstring overrides = key_.subKey() + L"\\DllOverrides";
    const wchar_t kNativeFirst[] = L"native,builtin";
    for (const std::wstring& name : kPlanted) {
      RegSetKeyValueW(HKEY_CURRENT_USER, overrides.c_str(), name.c_str(), REG_SZ, kNativeFirst, sizeof(kNativeFirst));
    }
  }

 private:
  rig::ScratchRegistryKey key_;
};

void Plant(const fs::path& folder) {
  for (const std::wstring& name : kPlanted) {
    fs::copy_file(rig::BinaryFolder() / L"PlantedDll.dll", folder / (name + L".dll"));
  }
}

// The planted DLLs that a program of this file name loaded.
std::vector<std::wstring> LoadedBy(const fs::path& folder, const std::wstring& program) {
  std::vector<std::wstring> loaded;
  for (const auto& file : fs::directory_iterator(folder)) {
    if (file.path().extension() != L".loaded") continue;
    const std::string bytes = rig::ReadFile(file.path());
    const std::wstring loader(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    if (fs::path(loader).filename() == program) loaded.push_back(file.path().filename().wstring());
  }
  return loaded;
}

void SaveShortcut(const fs::path& file, const fs::path& target) {
  portico::ComInit com;
  portico::ComPtr<IShellLinkW> link;
  ASSERT_HRESULT_SUCCEEDED(
      CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()));
  link->SetPath(target.c_str());
  portico::ComPtr<IPersistFile> persist;
  ASSERT_HRESULT_SUCCEEDED(link.QueryInterface(IID_IPersistFile, persist));
  ASSERT_HRESULT_SUCCEEDED(persist->Save(file.c_str(), TRUE));
}

fs::path CommonDesktop() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

TEST(DllPlanting, ControlWineLoadsADllPlantedBesideAProgramThatDoesNotGuard) {
  rig::Installation install;
  Plant(install.folder());
  const fs::path probe = install.folder() / L"DllProbe.exe";
  fs::copy_file(rig::BinaryFolder() / L"DllProbe.exe", probe);
  std::wstring names;
  for (const std::wstring& name : kPlanted) names += L" " + name + L".dll";
  SearchedAsWindowsDoes asWindows(L"DllProbe.exe");
  ASSERT_EQ(rig::RunDebuggee(probe, names).exitCode, 0u);
  EXPECT_EQ(LoadedBy(install.folder(), L"DllProbe.exe").size(), kPlanted.size())
      << testing::PrintToString(LoadedBy(install.folder(), L"DllProbe.exe"));
}

TEST(DllPlanting, NoRoadLoadsADllFromTheLauncherFolder) {
  rig::Installation install;
  const std::wstring shortcut = rig::UniqueName(L"Planted");
  install.WriteConfig("<shortcut_cn>" + rig::ToUtf8(shortcut) + "</shortcut_cn><shortcut_en>" + rig::ToUtf8(shortcut) +
                      "</shortcut_en>");
  install.WriteClientSettings("window=normal\n");
  const fs::path lnk = CommonDesktop() / (shortcut + L".lnk");
  SaveShortcut(lnk, install.launcher());
  Plant(install.folder());
  SearchedAsWindowsDoes asWindows(L"Portico.exe");
  const std::wstring link = L"\"" + install.scheme() + L"://open?id=7\"";

  // The start road, through the registration, the shortcut and the shell.
  EXPECT_EQ(install.RunLauncher(link).exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  install.EndClients();
  // The quiet road and the hand-off road, each with its box.
  install.StartClient(L"normal", true);
  for (const std::wstring& commandLine : {std::wstring(), link}) {
    rig::Debuggee launcher(install.launcher(), commandLine);
    auto box = rig::WaitForMessageBox(launcher.pid());
    ASSERT_TRUE(box.has_value());
    rig::PressButton(*box, IDOK);
    EXPECT_EQ(launcher.Wait().exitCode, 0u);
  }
  EXPECT_TRUE(install.WaitForMessages(1));
  DeleteFileW(lnk.c_str());
  EXPECT_EQ(LoadedBy(install.folder(), L"Portico.exe"), std::vector<std::wstring>());
}

}  // namespace
