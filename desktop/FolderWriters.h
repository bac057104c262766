#pragma once
// Who besides administrators may change a folder, judged from its owner and its access entries,
// apart from the security API so that it builds anywhere. SIDs are in their string form
// ("S-1-5-32-545").

#include <cstdint>
#include <string>
#include <vector>

struct AccessEntry {
  bool allows = false;  // an access-allowed entry; denying entries are not counted
  std::uint32_t mask = 0;
  std::string sid;  // empty when the entry's kind does not tell whose it is
  // It applies only to what the folder will hold, not to the folder itself.
  bool inheritOnly = false;
};

struct FolderSecurity {
  std::string owner;           // empty when the descriptor names none
  bool hasAccessList = false;  // without one, everyone may do everything
  std::vector<AccessEntry> entries;
};

enum class WriterKind { None, Owner, Entry, NoAccessList };
struct FolderWriter {
  WriterKind kind = WriterKind::None;
  std::string sid;  // the owner's or the entry's
};

// The first principal other than Administrators, SYSTEM, TrustedInstaller, the creator-owner and
// owner-rights placeholders and `administratorUser` (the elevated launcher's own account, empty for
// none) that may add, change or delete what the folder holds, delete the folder or rewrite its
// permissions; an owner counts, since an owner may always rewrite them. Kind None when there is none.
FolderWriter FindNonAdministratorWriter(const FolderSecurity& security, const std::string& administratorUser);

// The same for a folder above the launcher's folder: whoever besides administrators may rename or
// remove the folder or what it holds, so that the way to the launcher's folder could lead to another.
// Adding files and folders is no such right. Entries that only pass to what the folder will hold do
// not count: each folder below carries what it inherited in its own descriptor.
FolderWriter FindNonAdministratorReplacer(const FolderSecurity& security, const std::string& administratorUser);

// The folders that lead to `path`, its root first: "C:\a\b.exe" gives "C:\", "C:\a". The root is
// a drive's ("C:\"), a share's ("\\server\share\"), either behind "\\?\"; none for a path
// without one.
std::vector<std::wstring> FoldersLeadingTo(const std::wstring& path);

// "S-1-1-0 (Everyone) may write to it", "it is owned by S-1-5-21-...", ...: for the log.
std::string DescribeWriter(const FolderWriter& writer);
// The same for FindNonAdministratorReplacer's answer: "... may rename or remove what it holds".
std::string DescribeReplacer(const FolderWriter& writer);
