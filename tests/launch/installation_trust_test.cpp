// A launcher in a folder users may change, and one that meets a scheme another installation holds:
// what each registers, refreshes and logs, with the client started all the same.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "Host.h"
#include "Installation.h"
#include "Launchers.h"
#include "ShellLinks.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace {

using rig::Installation;

std::optional<std::wstring> Command(const rig::LauncherKind& kind, const std::wstring& scheme) {
  wchar_t text[1024] = {};
  DWORD size = sizeof(text);
  const std::wstring key = kind.classes.SchemeKey(scheme) + L"\\shell\\open\\command";
  if (RegGetValueW(kind.classes.root, key.c_str(), L"", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(text);
}

std::wstring CommandFor(const fs::path& launcher) { return L"\"" + launcher.wstring() + L"\" \"%1\""; }

bool Logged(const Installation& install, const std::string& record) {
  return rig::ReadFile(install.folder() / L"portico.log").find("] " + record + "\n") != std::string::npos;
}

class WritableFolder : public testing::TestWithParam<rig::LauncherKind> {};
INSTANTIATE_TEST_SUITE_P(Launchers, WritableFolder, testing::ValuesIn(rig::kLaunchers), rig::LauncherKindName());

// The folder itself, or the way to it: a folder above it that users may rename things in, or a
// folder link (Wine's stand-in for a junction) that its user may point elsewhere later.
TEST_P(WritableFolder, OnlyThePerUserLauncherRegistersAndRefreshesFromIt) {
  enum class Way { FolderWritable, ParentWritable, ThroughLink };
  const struct {
    const char* name;
    Way way;
  } cases[] = {
      {"the folder granted to Everyone", Way::FolderWritable},
      {"the folder above granted to Everyone", Way::ParentWritable},
      {"the folder reached through a link", Way::ThroughLink},
  };
  const rig::LauncherKind& kind = GetParam();
  const bool machineWide = kind.file == rig::kMachineWideLauncher.file;
  portico::ComInit com;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Installation install(L"install", kind.file);
    const std::wstring name = rig::UniqueName(L"Trust Shortcut ");
    // By its real path: the log is never written through a link on its way.
    install.WriteConfig("<LogFile>" + rig::ToUtf8((install.folder() / L"portico.log").wstring()) +
                        "</LogFile><shortcut_cn>" + rig::ToUtf8(name) + "</shortcut_cn>");
    const fs::path shortcut =
        rig::KnownFolder(machineWide ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY) / (name + L".lnk");
    const rig::ShortcutContent stale{L"C:\\Old Place\\Client.exe", L"Old", L"", 0, L"C:\\Old Place", L""};
    ASSERT_TRUE(rig::WriteShortcut(shortcut, stale));
    const fs::path parent = install.folder().parent_path();
    fs::path launcher = install.launcher();
    std::string writer = "S-1-1-0 (Everyone) may write to it";
    std::unique_ptr<rig::HostSymlink> link;
    if (c.way == Way::FolderWritable) {
      ASSERT_TRUE(rig::GrantEveryoneWrite(install.folder()));
    } else if (c.way == Way::ParentWritable) {
      ASSERT_TRUE(rig::GrantEveryoneWrite(parent));
      writer = rig::ToUtf8(parent.wstring()) + ", a folder on its path: S-1-1-0 (Everyone) may rename or remove " +
               "what it holds";
    } else {
      link = std::make_unique<rig::HostSymlink>(parent / L"link", "install");
      launcher = parent / L"link" / kind.file;
      writer = "its path passes through a link, " + rig::ToUtf8((parent / L"link").wstring());
    }

    EXPECT_EQ(rig::RunDebuggee(launcher, L"\"" + install.scheme() + L"://open?id=7\"").exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(1));
    EXPECT_EQ(install.Record().starts.at(0).arguments, std::vector<std::string>{"open?id=7"});
    const std::optional<rig::ShortcutContent> after = rig::ReadShortcut(shortcut);
    fs::remove(shortcut);
    if (machineWide) {
      EXPECT_EQ(Command(kind, install.scheme()), std::nullopt);
      EXPECT_EQ(after, stale);
      const std::string why = "users without administrator rights can change the launcher's folder";
      EXPECT_TRUE(Logged(install, "registration: skipped, " + why + ": " + writer));
      EXPECT_TRUE(Logged(install, "shortcut: not refreshed, " + why));
    } else {
      EXPECT_EQ(Command(kind, install.scheme()), CommandFor(launcher));
      EXPECT_EQ(after.value_or(stale).target, launcher.wstring());
    }
  }
}

// The scheme's command names another installation's launcher: kept while that launcher is there, in
// a folder only administrators can change; taken over once it was moved away, or from a folder users
// may write.
TEST(SchemeOfAnotherInstallation, IsTakenOverOnlyWhenItsLauncherIsGoneOrUnprotected) {
  const struct {
    const char* name;
    bool otherRemains;
    bool otherWritable;
    bool kept;
  } cases[] = {
      {"protected and present", true, false, true},
      {"moved away", false, false, false},
      {"in a folder users may write", true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Installation other(L"other");
    if (!c.otherRemains) fs::remove(other.launcher());
    if (c.otherWritable) {
      ASSERT_TRUE(rig::GrantEveryoneWrite(other.folder()));
    }
    Installation install;
    install.WriteConfig("<LogFile>portico.log</LogFile>");
    const std::wstring key = install.scheme() + L"\\shell\\open\\command";
    const std::wstring held = CommandFor(other.launcher());
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, held.c_str(),
                              static_cast<DWORD>((held.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    EXPECT_EQ(install.RunLauncher(L"").exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(1));
    EXPECT_EQ(Command(rig::kMachineWideLauncher, install.scheme()), c.kept ? held : CommandFor(install.launcher()));
    EXPECT_EQ(
        Logged(install, "registration: skipped, the scheme belongs to " + rig::ToUtf8(other.launcher().wstring()) +
                            ", a launcher in another folder that only administrators can change"),
        c.kept);
  }
}

}  // namespace
