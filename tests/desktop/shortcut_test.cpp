// The shortcut on the real desktops of the prefix, written and read back through the shell's own link
// object: the common desktop of the machine-wide launcher and the user's own of the per-user one.
#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "DesktopShortcut.h"
#include "LauncherVariant.h"
#include "Scratch.h"
#include "ShellLinks.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace {

using Link = rig::ShortcutContent;

void SaveLink(const fs::path& file, const Link& properties) {
  ASSERT_TRUE(rig::WriteShortcut(file, properties)) << file;
}

Link LoadLink(const fs::path& file) {
  const std::optional<Link> link = rig::ReadShortcut(file);
  EXPECT_TRUE(link.has_value()) << file;
  return link.value_or(Link{});
}

// A desktop the refresh may work on, with what it takes to test it there.
struct DesktopCase {
  const char* name;
  int desktop;       // the CSIDL of the desktop refreshed
  int otherDesktop;  // and of the one left alone
  // Where the prefix keeps the desktop's location: HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, and the value.
  HKEY shellFoldersRoot;
  const wchar_t* shellFoldersValue;
  int (*refresh)(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*);
};

int RefreshUsersDesktop(const wchar_t* oldName, const wchar_t* newName, const wchar_t* targetPath,
                        const wchar_t* description, const wchar_t* iconPath, const wchar_t* workingFolder) {
  return RefreshDesktopShortcut(kPerUser, oldName, newName, targetPath, description, iconPath, workingFolder);
}

// The machine-wide launcher's entry point as designed, and the per-user launcher's.
const DesktopCase kDesktops[] = {
    {"CommonDesktop", CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, HKEY_LOCAL_MACHINE, L"Common Desktop",
     RefreshDesktopShortcut},
    {"UsersDesktop", CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, HKEY_CURRENT_USER, L"Desktop",
     RefreshUsersDesktop},
};

// The prefix's desktop redirected to a folder that does not exist, for the length of one test.
class MissingDesktop {
 public:
  explicit MissingDesktop(const DesktopCase& desktop)
      : root_(desktop.shellFoldersRoot), value_(desktop.shellFoldersValue) {
    const std::wstring missing = L"C:\\" + rig::UniqueName(L"no such folder ") + L"\\Desktop";
    for (auto& saved : saved_) {
      saved.bytes.resize(2048);
      DWORD size = static_cast<DWORD>(saved.bytes.size());
      if (RegGetValueW(root_, saved.key, value_, RRF_RT_ANY | RRF_NOEXPAND, &saved.type, saved.bytes.data(), &size) !=
          ERROR_SUCCESS) {
        ADD_FAILURE() << "no desktop in " << testing::PrintToString(std::wstring(saved.key));
        saved.key = nullptr;  // nothing to put back
        continue;
      }
      saved.bytes.resize(size);
      RegSetKeyValueW(root_, saved.key, value_, saved.type, missing.c_str(),
                      static_cast<DWORD>((missing.size() + 1) * sizeof(wchar_t)));
    }
  }
  ~MissingDesktop() {
    for (const auto& saved : saved_) {
      if (!saved.key) continue;
      RegSetKeyValueW(root_, saved.key, value_, saved.type, saved.bytes.data(), static_cast<DWORD>(saved.bytes.size()));
    }
  }

 private:
  HKEY root_;
  const wchar_t* value_;
  struct Saved {
    const wchar_t* key;
    DWORD type = 0;
    std::string bytes;
  } saved_[2] = {{L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0, {}},
                 {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0, {}}};
};

bool Exists(const fs::path& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Shortcut : public testing::TestWithParam<DesktopCase> {
 protected:
  Shortcut() {
    rig::WriteFile(launcher_, "MZ");
    rig::WriteFile(icon_, "icon");
  }
  ~Shortcut() override {
    std::error_code ignored;
    for (const auto& path : made_) fs::remove_all(path, ignored);
  }

  // A name no other test uses, and its file on the common desktop, removed after the test.
  std::wstring Name(const std::wstring& prefix = L"Portico Shortcut ") {
    std::wstring name = rig::UniqueName(prefix);
    Track(OnDesktop(name));
    return name;
  }
  fs::path OnDesktop(const std::wstring& name) const { return desktop_ / (name + L".lnk"); }
  const fs::path& Track(const fs::path& path) { return made_.emplace_back(path); }

  // A refresh the way the driver calls it, with the files of the scratch installation.
  int Refresh(const wchar_t* oldName, const wchar_t* newName) const {
    return GetParam().refresh(oldName, newName, launcher_.c_str(), L"Sample", icon_.c_str(), install_.path().c_str());
  }
  // What a refreshed shortcut holds; its arguments are those of the shortcut it was loaded from.
  Link Refreshed(const std::wstring& arguments) const {
    return {launcher_.wstring(), L"Sample", icon_.wstring(), 0, install_.path().wstring(), arguments};
  }
  static Link Stale(const std::wstring& arguments) {
    return {L"C:\\Old Place\\Portico.exe", L"Old", L"C:\\Old Place\\old.ico", 2, L"C:\\Old Place", arguments};
  }

  portico::ComInit com_;
  rig::ScratchFolder install_{L"Sample App"};
  fs::path launcher_ = install_.path() / L"Portico.exe";
  fs::path icon_ = install_.path() / L"Sample.ico";
  fs::path desktop_ = rig::KnownFolder(GetParam().desktop);
  std::vector<fs::path> made_;
};

INSTANTIATE_TEST_SUITE_P(Desktops, Shortcut, testing::ValuesIn(kDesktops),
                         [](const testing::TestParamInfo<DesktopCase>& info) { return std::string(info.param.name); });

TEST_P(Shortcut, OldShortcutAloneIsRefreshedInPlace) {
  const std::wstring name = Name();
  SaveLink(OnDesktop(name), Stale(L"from old"));
  EXPECT_EQ(Refresh(name.c_str(), nullptr), 1);
  EXPECT_EQ(LoadLink(OnDesktop(name)), Refreshed(L"from old"));
}

TEST_P(Shortcut, NewNameDifferingOnlyInCaseIsTheSameFile) {
  // Folding "A" to "Z" alone would take "\u00c9" and "\u00e9" for two names and delete the file just saved.
  for (const std::wstring& oldName : {Name(L"Sample Shortcut "), Name(L"\u00c9clair ")}) {
    std::wstring lower = oldName;
    for (auto& c : lower) c = c == L'\u00c9' ? L'\u00e9' : towlower(c);
    Track(OnDesktop(lower));
    SaveLink(OnDesktop(oldName), Stale(L"from old"));
    EXPECT_EQ(Refresh(oldName.c_str(), lower.c_str()), 1);
    ASSERT_TRUE(Exists(OnDesktop(oldName))) << "the shortcut was deleted right after its save";
    EXPECT_EQ(LoadLink(OnDesktop(lower)), Refreshed(L"from old"));
  }
}

TEST_P(Shortcut, NewNameTakesOverTheRefreshedOldShortcut) {
  for (const bool newExists : {false, true}) {
    const std::wstring oldName = Name();
    const std::wstring newName = Name();
    SaveLink(OnDesktop(oldName), Stale(L"from old"));
    if (newExists) SaveLink(OnDesktop(newName), Stale(L"from new"));

    EXPECT_EQ(Refresh(oldName.c_str(), newName.c_str()), 1);
    EXPECT_FALSE(Exists(OnDesktop(oldName)));
    EXPECT_EQ(LoadLink(OnDesktop(newName)), Refreshed(L"from old")) << "new existed: " << newExists;
  }
}

TEST_P(Shortcut, OnlyTheNewShortcutIsRefreshedInPlace) {
  const std::wstring oldName = Name();
  const std::wstring newName = Name();
  SaveLink(OnDesktop(newName), Stale(L"from new"));
  EXPECT_EQ(Refresh(oldName.c_str(), newName.c_str()), 1);
  EXPECT_EQ(LoadLink(OnDesktop(newName)), Refreshed(L"from new"));
  EXPECT_FALSE(Exists(OnDesktop(oldName)));
}

TEST_P(Shortcut, NothingIsCreatedWhenNeitherShortcutExists) {
  const std::wstring oldName = Name();
  const std::wstring newName = Name();
  EXPECT_EQ(Refresh(oldName.c_str(), newName.c_str()), -3);
  EXPECT_EQ(Refresh(oldName.c_str(), nullptr), -3);
  EXPECT_FALSE(Exists(OnDesktop(oldName)));
  EXPECT_FALSE(Exists(OnDesktop(newName)));
}

TEST_P(Shortcut, ThreadWithoutComIsLeftWithoutCom) {
  const std::wstring oldName = Name();
  const std::wstring missing = Name();
  SaveLink(OnDesktop(oldName), Stale(L"from old"));
  int results[2] = {};
  HRESULT afterwards[2] = {};
  // A thread of its own: COM was never initialised on it. A multithreaded start afterwards fails
  // if the refresh left a single-threaded apartment behind.
  std::thread([&] {
    results[0] = Refresh(missing.c_str(), nullptr);
    afterwards[0] = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
    results[1] = Refresh(oldName.c_str(), nullptr);
    afterwards[1] = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
  }).join();
  EXPECT_EQ(results[0], -3);
  EXPECT_EQ(results[1], 1);
  EXPECT_EQ(afterwards[0], S_OK);
  EXPECT_EQ(afterwards[1], S_OK);
  EXPECT_EQ(LoadLink(OnDesktop(oldName)), Refreshed(L"from old"));
}

TEST_P(Shortcut, DesktopThatCannotBeLocatedGivesMinusTwo) {
  const std::wstring name = Name();
  SaveLink(OnDesktop(name), Stale(L"from old"));
  const std::string before = rig::ReadFile(OnDesktop(name));
  {
    MissingDesktop missing(GetParam());
    EXPECT_EQ(Refresh(name.c_str(), nullptr), -2);
  }
  EXPECT_EQ(rig::ReadFile(OnDesktop(name)), before);
  EXPECT_EQ(rig::KnownFolder(GetParam().desktop), desktop_);
}

TEST_P(Shortcut, NoOldNameDoesNothingEvenWhenTheNewShortcutExists) {
  const std::wstring newName = Name();
  SaveLink(OnDesktop(newName), Stale(L"from new"));
  const std::string before = rig::ReadFile(OnDesktop(newName));
  EXPECT_EQ(Refresh(nullptr, newName.c_str()), -1);
  EXPECT_EQ(Refresh(L"", newName.c_str()), -1);
  EXPECT_EQ(rig::ReadFile(OnDesktop(newName)), before);
}

TEST_P(Shortcut, NamesThatCannotBeAFileNameCountAsAbsent) {
  // A shortcut beside the desktop folder, which "..\<name>" would reach.
  const std::wstring outside = rig::UniqueName(L"Portico Outside ");
  const fs::path outsideFile = Track(desktop_.parent_path() / (outside + L".lnk"));
  SaveLink(outsideFile, Stale(L"outside"));
  const std::string before = rig::ReadFile(outsideFile);
  const std::wstring tooLong(260, L'n');
  for (const std::wstring& name : {L"..\\" + outside, L"../" + outside, outside + L":stream", tooLong}) {
    Track(OnDesktop(name));
    EXPECT_EQ(Refresh(name.c_str(), nullptr), -1);
    // As a new name it is no new name: the old shortcut is refreshed where it is.
    const std::wstring oldName = Name();
    SaveLink(OnDesktop(oldName), Stale(L"from old"));
    EXPECT_EQ(Refresh(oldName.c_str(), name.c_str()), 1);
    EXPECT_EQ(LoadLink(OnDesktop(oldName)), Refreshed(L"from old"));
  }
  EXPECT_EQ(rig::ReadFile(outsideFile), before);
}

TEST_P(Shortcut, MissingIconFileKeepsTheIconItHad) {
  const std::wstring name = Name();
  SaveLink(OnDesktop(name), Stale(L"from old"));
  fs::remove(icon_);
  EXPECT_EQ(Refresh(name.c_str(), nullptr), 1);
  Link expected = Refreshed(L"from old");
  expected.icon = Stale(L"").icon;
  expected.iconIndex = Stale(L"").iconIndex;
  EXPECT_EQ(LoadLink(OnDesktop(name)), expected);
}

TEST_P(Shortcut, ShortcutOnTheOtherDesktopIsLeftAlone) {
  const std::wstring name = Name();
  const fs::path own = Track(rig::KnownFolder(GetParam().otherDesktop) / (name + L".lnk"));
  SaveLink(own, Stale(L"own"));
  const std::string before = rig::ReadFile(own);
  EXPECT_EQ(Refresh(name.c_str(), nullptr), -3);
  EXPECT_EQ(rig::ReadFile(own), before);
  EXPECT_FALSE(Exists(OnDesktop(name)));
}

TEST_P(Shortcut, FailedSaveKeepsTheOldShortcut) {
  const std::wstring oldName = Name();
  const std::wstring newName = Name();
  SaveLink(OnDesktop(oldName), Stale(L"from old"));
  const std::string before = rig::ReadFile(OnDesktop(oldName));
  // A folder where the new shortcut file would go cannot be written over.
  fs::create_directory(OnDesktop(newName));
  EXPECT_EQ(Refresh(oldName.c_str(), newName.c_str()), 1);
  EXPECT_EQ(rig::ReadFile(OnDesktop(oldName)), before);
}

// A file under the old name that is no shell link (an empty link answers GetPath all the same) is
// somebody else's: it is neither overwritten, nor moved to the new name, nor deleted.
TEST_P(Shortcut, OldFileThatIsNoShortcutIsLeftAlone) {
  for (const std::string& content : {std::string("not a shortcut"), std::string()}) {
    for (const bool withNewName : {false, true}) {
      const std::wstring oldName = Name();
      const std::wstring newName = Name();
      rig::WriteFile(OnDesktop(oldName), content);
      EXPECT_EQ(Refresh(oldName.c_str(), withNewName ? newName.c_str() : nullptr), 0);
      EXPECT_EQ(rig::ReadFile(OnDesktop(oldName)), content);
      EXPECT_FALSE(Exists(OnDesktop(newName)));
    }
  }
}

TEST_P(Shortcut, UnreadableNewShortcutGivesZero) {
  const std::wstring oldName = Name();
  const std::wstring newName = Name();
  rig::WriteFile(OnDesktop(newName), "not a shortcut");
  EXPECT_EQ(Refresh(oldName.c_str(), newName.c_str()), 0);
  EXPECT_EQ(rig::ReadFile(OnDesktop(newName)), "not a shortcut");
}

}  // namespace
