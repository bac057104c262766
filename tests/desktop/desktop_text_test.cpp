// The scheme and shortcut-name rules that keep the launcher's writes inside their own places.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

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
      {"a user may delete the folder itself", {admins, true, {{true, 0x10000, user}}}, "", {WriterKind::Entry, user}},
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

// The owner and the access entries of a folder's descriptor in SDDL, as Windows writes them
// ("O:SYD:PAI(A;OICIIO;0x1200a9;;;BU)..."): the rights as hex or letter pairs, the SIDs as strings or
// the aliases below.
FolderSecurity FromSddl(const std::string& sddl) {
  static const std::pair<const char*, const char*> kAliases[] = {
      {"BA", "S-1-5-32-544"}, {"SY", "S-1-5-18"}, {"BU", "S-1-5-32-545"}, {"AU", "S-1-5-11"},
      {"WD", "S-1-1-0"},      {"CO", "S-1-3-0"},  {"IU", "S-1-5-4"},      {"AC", "S-1-15-2-1"}};
  static const std::pair<const char*, std::uint32_t> kRights[] = {
      {"FA", 0x1f01ff}, {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
      {"SD", 0x10000},  {"WD", 0x40000},    {"WO", 0x80000},    {"RC", 0x20000},    {"CC", 0x1},
      {"DC", 0x2},      {"LC", 0x4},        {"DT", 0x40}};
  const auto sid = [&](const std::string& text) {
    for (const auto& alias : kAliases) {
      if (text == alias.first) return std::string(alias.second);
    }
    return text;
  };
  FolderSecurity security;
  const size_t list = sddl.find("D:");
  security.owner = sid(sddl.substr(2, list == std::string::npos ? std::string::npos : list - 2));
  if (list == std::string::npos) return security;
  security.hasAccessList = true;
  for (size_t open = sddl.find('(', list); open != std::string::npos; open = sddl.find('(', open + 1)) {
    std::vector<std::string> fields;
    const std::string ace = sddl.substr(open + 1, sddl.find(')', open) - open - 1);
    for (size_t start = 0;;) {
      const size_t end = ace.find(';', start);
      fields.push_back(ace.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    AccessEntry entry{fields.at(0) == "A", 0, sid(fields.at(5)), fields.at(1).find("IO") != std::string::npos};
    if (fields.at(2).rfind("0x", 0) == 0) {
      entry.mask = static_cast<std::uint32_t>(std::strtoul(fields[2].c_str(), nullptr, 16));
    }
    for (size_t i = 0; entry.mask == 0 && i + 1 < fields[2].size(); i += 2) {
      for (const auto& right : kRights) {
        if (fields[2].compare(i, 2, right.first) == 0) entry.mask |= right.second;
      }
    }
    security.entries.push_back(entry);
  }
  return security;
}

// Who may put another folder in the place of one on the launcher's way: removing or renaming counts,
// adding does not, nor what only passes to what the folder will hold.
TEST(FolderWriters, OnAFolderAboveOnlyWhoMayRenameOrRemoveCounts) {
  const std::string user = "S-1-5-21-1-2-3-1001", wineUser = "S-1-5-21-0-0-0-1000";
  const std::string installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const struct {
    const char* name;
    std::string sddl;
    std::string administratorUser;
    FolderWriter writer;
  } cases[] = {
      {"a drive's root, where Authenticated Users may make folders",
       "O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)",
       "",
       {}},
      {"Program Files",
       "O:" + installer + "D:PAI(A;;FA;;;" + installer + ")(A;CIIO;GA;;;" + installer +
           ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)"
           "(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)",
       "",
       {}},
      {"Wine's every folder",
       "O:" + wineUser + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + wineUser + ")(A;OICI;0x1200a9;;;WD)",
       wineUser,
       {}},
      {"Wine's view of a host folder everyone may write",
       "O:" + wineUser + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + wineUser + ")(A;OICI;0x1301ff;;;WD)",
       wineUser,
       {WriterKind::Entry, "S-1-1-0"}},
      {"Users may delete what it holds", "O:BAD:(A;;FA;;;BA)(A;;DT;;;BU)", "", {WriterKind::Entry, "S-1-5-32-545"}},
      {"Users may rename the folder itself", "O:BAD:(A;;FA;;;BA)(A;;SD;;;BU)", "", {WriterKind::Entry, "S-1-5-32-545"}},
      {"INTERACTIVE may rewrite its permissions", "O:BAD:(A;;WD;;;IU)", "", {WriterKind::Entry, "S-1-5-4"}},
      {"a user may take ownership", "O:BAD:(A;;WO;;;" + user + ")", "", {WriterKind::Entry, user}},
      {"a user has generic all", "O:BAD:(A;;GA;;;" + user + ")", "", {WriterKind::Entry, user}},
      {"generic write adds, never deletes", "O:BAD:(A;;GW;;;AU)", "", {}},
      {"Authenticated Users may add files and folders", "O:BAD:(A;;0x6;;;AU)", "", {}},
      {"full control only for what it will hold", "O:BAD:(A;OICIIO;FA;;;BU)", "", {}},
      {"an owner without administrator rights", "O:" + user + "D:(A;;FA;;;BA)", "", {WriterKind::Owner, user}},
      {"no access list", "O:BA", "", {WriterKind::NoAccessList, ""}},
      {"a denial is not weighed", "O:BAD:(D;;FA;;;WD)(A;;SD;;;WD)", "", {WriterKind::Entry, "S-1-1-0"}},
  };
  for (const auto& c : cases) {
    const FolderWriter writer = FindNonAdministratorReplacer(FromSddl(c.sddl), c.administratorUser);
    EXPECT_EQ(writer.kind, c.writer.kind) << c.name;
    EXPECT_EQ(writer.sid, c.writer.sid) << c.name;
  }
  EXPECT_EQ(DescribeReplacer({WriterKind::Entry, "S-1-1-0"}), "S-1-1-0 (Everyone) may rename or remove what it holds");
}

TEST(FolderWriters, TheFoldersLeadingToAPathStartAtItsDriveOrShare) {
  const struct {
    std::wstring path;
    std::vector<std::wstring> folders;
  } cases[] = {
      {L"C:\\Program Files\\Demo\\Portico.exe", {L"C:\\", L"C:\\Program Files", L"C:\\Program Files\\Demo"}},
      {L"P:\\Portico.exe", {L"P:\\"}},
      {L"C:/a//b.exe", {L"C:/", L"C:/a"}},
      {L"\\\\server\\share\\Demo\\Portico.exe", {L"\\\\server\\share\\", L"\\\\server\\share\\Demo"}},
      {L"\\\\?\\C:\\Demo\\Portico.exe", {L"\\\\?\\C:\\", L"\\\\?\\C:\\Demo"}},
      {L"\\\\?\\UNC\\server\\share\\Portico.exe", {L"\\\\?\\UNC\\server\\share\\"}},
      {L"Portico.exe", {}},
      {L"C:Portico.exe", {}},
      {L"\\\\server\\Portico.exe", {}},
      {L"\\Demo\\Portico.exe", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FoldersLeadingTo(c.path), c.folders) << std::string(c.path.begin(), c.path.end());
  }
}

}  // namespace
