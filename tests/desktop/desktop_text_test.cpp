// The scheme and shortcut-name rules that keep the launcher's writes inside their own places.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "FolderWriters.h"
#include "OpenCommand.h"
#include "ShortcutNames.h"

namespace {

TEST(OpenCommandText, OnlyAValidSchemeFollowedByTheOpenCommandPathIsAccepted) {
  for (const wchar_t* key : {L"demo\\shell\\open\\command", L"d\\shell\\open\\command",
                             L"web+demo-2.x\\shell\\open\\command", L"Z9\\shell\\open\\command"}) {
    EXPECT_TRUE(IsSchemeCommandKey(key)) << key;
  }
  for (const wchar_t* key :
       {L"\\shell\\open\\command", L"9demo\\shell\\open\\command", L"-demo\\shell\\open\\command",
        L"de mo\\shell\\open\\command", L"demo\\x\\shell\\open\\command", L"demo/x\\shell\\open\\command",
        L"d\u00e9mo\\shell\\open\\command", L"demo:\\shell\\open\\command", L"demo", L"demo\\shell\\open",
        L"demo\\shell\\open\\command\\x", L"demo\\Shell\\Open\\Command\\"}) {
    EXPECT_FALSE(IsSchemeCommandKey(key)) << key;
  }
}

TEST(ShortcutNames, NamesThatCannotBeAFileOnTheDesktopCountAsAbsent) {
  const std::wstring desktop = L"C:\\users\\Public\\Desktop";
  EXPECT_EQ(ShortcutFile(desktop, L"Sample \u4e2d\u6587"), desktop + L"\\Sample \u4e2d\u6587.lnk");
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"..\\Sample", L"a/b", L"C:Sample"}) {
    EXPECT_FALSE(IsShortcutName(name));
    EXPECT_FALSE(ShortcutFile(desktop, name));
  }
  // The whole file with its terminating zero fits 260 characters, and not one more.
  const std::wstring fits(259 - desktop.size() - 5, L'n');
  EXPECT_TRUE(ShortcutFile(desktop, fits.c_str()));
  EXPECT_FALSE(ShortcutFile(desktop, (fits + L"n").c_str()));
}

TEST(OpenCommandText, TheProgramIsTheLeadingQuotedOrBareFullPath) {
  const std::wstring padded = std::wstring(L"\"C:\\A B\\P.exe\" \"%1\"") + std::wstring(200, L'\0');
  const struct {
    std::wstring command;
    std::optional<std::wstring> program;
  } cases[] = {
      {L"\"C:\\Program Files\\Demo\\Portico.exe\" \"%1\"", L"C:\\Program Files\\Demo\\Portico.exe"},
      {padded, L"C:\\A B\\P.exe"},
      {L"D:\\Apps\\P.exe \"%1\"", L"D:\\Apps\\P.exe"},
      {L"\"\\\\server\\share\\P.exe\" %1", L"\\\\server\\share\\P.exe"},
      {L"rundll32.exe url.dll,FileProtocolHandler %1", std::nullopt},
      {L"\"P.exe\" \"%1\"", std::nullopt},
      {L"\"C:\\Unclosed.exe %1", std::nullopt},
      {L"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgramOfCommand(c.command), c.program) << c.command.c_str();
}

// Only administrators may change a folder, or who else may; from entries as a descriptor lists them.
TEST(FolderWriters, AnyoneButAdministratorsWhoMayAddDeleteOrRepermitCounts) {
  const std::string admins = "S-1-5-32-544", system = "S-1-5-18", user = "S-1-5-21-1-2-3-1001";
  const std::string installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const AccessEntry readForUsers{true, 0x1200a9, "S-1-5-32-545"};
  const struct {
    const char* name;
    FolderSecurity security;
    std::string administratorUser;
    FolderWriter writer;
  } cases[] = {
      {"installed folder", {admins, true, {{true, 0x1f01ff, system}, {true, 0x1f01ff, admins}, readForUsers}}, "", {}},
      {"TrustedInstaller's, creator-owner's and owner-rights' grants",
       {installer, true, {{true, 0x10000000, "S-1-3-0"}, {true, 0x1f01ff, "S-1-3-4"}, {true, 0x1f01ff, installer}}},
       "",
       {}},
      {"the elevated launcher's own account", {user, true, {{true, 0x1f01ff, user}}}, user, {}},
      {"an owner without administrator rights",
       {user, true, {{true, 0x1f01ff, admins}}},
       "",
       {WriterKind::Owner, user}},
      {"no owner", {"", true, {}}, "", {WriterKind::Owner, ""}},
      {"no access list", {admins, false, {}}, "", {WriterKind::NoAccessList, ""}},
      {"an empty access list", {system, true, {}}, "", {}},
      {"Users may add files",
       {admins, true, {readForUsers, {true, 0x2, "S-1-5-32-545"}}},
       "",
       {WriterKind::Entry, "S-1-5-32-545"}},
      {"Authenticated Users may add folders",
       {admins, true, {{true, 0x4, "S-1-5-11"}}},
       "",
       {WriterKind::Entry, "S-1-5-11"}},
      {"INTERACTIVE may delete what it holds",
       {admins, true, {{true, 0x40, "S-1-5-4"}}},
       "",
       {WriterKind::Entry, "S-1-5-4"}},
      {"Everyone may rewrite the permissions",
       {admins, true, {{true, 0x40000, "S-1-1-0"}}},
       "",
       {WriterKind::Entry, "S-1-1-0"}},
      {"a user may take ownership", {admins, true, {{true, 0x80000, user}}}, "", {WriterKind::Entry, user}},
      {"a user has generic write", {admins, true, {{true, 0x40000000, user}}}, "", {WriterKind::Entry, user}},
      {"a user has generic all", {admins, true, {{true, 0x10000000, user}}}, "", {WriterKind::Entry, user}},
      {"a grant of an unknown kind", {admins, true, {{true, 0x2, ""}}}, "", {WriterKind::Entry, ""}},
      {"a denial is no grant", {admins, true, {{false, 0x1f01ff, "S-1-1-0"}}}, "", {}},
  };
  for (const auto& c : cases) {
    const FolderWriter writer = FindNonAdministratorWriter(c.security, c.administratorUser);
    EXPECT_EQ(writer.kind, c.writer.kind) << c.name;
    EXPECT_EQ(writer.sid, c.writer.sid) << c.name;
  }
  EXPECT_EQ(DescribeWriter({WriterKind::Entry, "S-1-1-0"}), "S-1-1-0 (Everyone) may write to it");
  EXPECT_EQ(DescribeWriter({WriterKind::Owner, user}), "its owner " + user + " may rewrite its permissions");
}

}  // namespace
