// Whether a folder counts as one only administrators can change: descriptors as Windows writes them,
// built from SDDL, and what Wine reports for a real folder before and after a grant to Everyone.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include "FolderTrust.h"
#include "Scratch.h"
#include "WinHandles.h"

namespace {

const std::string kUser = "S-1-5-21-1-2-3-1001";
const std::string kWineUser = "S-1-5-21-0-0-0-1000";

FolderWriter WriterOf(const wchar_t* sddl, const std::string& administratorUser) {
  portico::LocalMem<void> descriptor;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.put(), nullptr))
      << sddl;
  return FindNonAdministratorWriter(SecurityOf(descriptor.get()), administratorUser);
}

TEST(FolderTrust, DescriptorsAsWindowsAndWineWriteThem) {
  const struct {
    const wchar_t* sddl;
    std::string administratorUser;
    WriterKind kind;
    std::string sid;
  } cases[] = {
      // A product folder below Program Files, as an installer leaves it.
      {L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;OICIIOID;GA;;;CO)"
       L"(A;ID;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;OICIID;0x1200a9;;;AC)",
       "", WriterKind::None, ""},
      // Below ProgramData, where Users may add files and folders.
      {L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;BU)(A;CIID;DCLCRPCR;;;"
       L"BU)",
       "", WriterKind::Entry, "S-1-5-32-545"},
      // A drive's root, where Authenticated Users may make folders.
      {L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)", "",
       WriterKind::Entry, "S-1-5-11"},
      // A folder a standard user made and owns.
      {L"O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)", "",
       WriterKind::Owner, kUser},
      // The same folder, the launcher elevated as that account: an administrator's own.
      {L"O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)", kUser,
       WriterKind::None, ""},
      // Wine's every folder, and the same after a grant to Everyone.
      {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)", kWineUser,
       WriterKind::None, ""},
      {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1301ff;;;WD)", kWineUser,
       WriterKind::Entry, "S-1-1-0"},
      // No access list at all (Wine reads "D:NO_ACCESS_CONTROL" as an empty one, Windows as none).
      {L"O:BA", "", WriterKind::NoAccessList, ""},
      // A denial ahead of a grant is not weighed: the grant counts.
      {L"O:BAD:(D;;FA;;;WD)(A;;FA;;;BU)", "", WriterKind::Entry, "S-1-5-32-545"},
  };
  for (const auto& c : cases) {
    const FolderWriter writer = WriterOf(c.sddl, c.administratorUser);
    EXPECT_EQ(writer.kind, c.kind) << c.sddl;
    EXPECT_EQ(writer.sid, c.sid) << c.sddl;
  }
}

TEST(FolderTrust, WinesFolderIsProtectedUntilEveryoneMayWriteIt) {
  rig::ScratchFolder folder;
  const std::string user = AdministratorUser();
  EXPECT_EQ(user, kWineUser);
  EXPECT_EQ(JudgeFolder(folder.path().wstring(), user).trust, FolderTrust::Protected);

  ASSERT_TRUE(rig::GrantEveryoneWrite(folder.path()));
  const FolderJudgement judgement = JudgeFolder(folder.path().wstring(), user);
  EXPECT_EQ(judgement.trust, FolderTrust::Writable);
  EXPECT_EQ(judgement.writer, "S-1-1-0 (Everyone) may write to it");
  EXPECT_EQ(JudgeFolder((folder.path() / L"missing").wstring(), user).trust, FolderTrust::Unreadable);
}

}  // namespace
