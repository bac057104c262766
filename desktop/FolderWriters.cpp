#include "FolderWriters.h"

namespace {

// Rights over the launcher's folder that let someone plant or replace its files, or take it over:
// add a file or a subfolder, delete what it holds or the folder itself, rewrite its permissions or
// its owner, and the generic rights that include them.
constexpr std::uint32_t kAddFile = 0x2;
constexpr std::uint32_t kAddSubfolder = 0x4;
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kChangingRights =
    kAddFile | kAddSubfolder | kDeleteChild | kDelete | kWriteDac | kWriteOwner | kGenericAll | kGenericWrite;
// Rights over a folder above it that let someone put another folder in the place of one on the way:
// deleting what it holds removes or renames any child whatever the child's own permissions, deleting
// the folder itself renames it away (a drive's root lets every user make the new one), and the
// permission and owner rights and generic all give them. Not adding files or folders: on Windows
// every authenticated user may make folders in a drive's root, and a new folder takes no existing
// one's place. Not generic write either: for a folder it means adding files and folders and writing
// attributes, neither deletion.
constexpr std::uint32_t kReplacingRights = kDeleteChild | kDelete | kWriteDac | kWriteOwner | kGenericAll;

const char* const kAdministrators[] = {
    "S-1-5-32-544",                                                    // Administrators
    "S-1-5-18",                                                        // SYSTEM
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
    "S-1-3-0",                                                         // CREATOR OWNER
    "S-1-3-4",                                                         // OWNER RIGHTS
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// The length of the drive's or share's root that begins `path`, its separator included; 0 for none.
size_t RootLength(const std::wstring& path) {
  static const std::wstring kLongPrefix = L"\\\\?\\";
  static const std::wstring kLongUncPrefix = L"\\\\?\\UNC\\";
  size_t start = 0;
  bool share = false;
  if (path.compare(0, kLongUncPrefix.size(), kLongUncPrefix) == 0) {
    start = kLongUncPrefix.size();
    share = true;
  } else if (path.compare(0, kLongPrefix.size(), kLongPrefix) == 0) {
    start = kLongPrefix.size();
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    start = 2;
    share = true;
  }
  if (!share) {
    const bool drive = path.size() >= start + 3 && IsAsciiLetter(path[start]) && path[start + 1] == L':' &&
                       IsSeparator(path[start + 2]);
    return drive ? start + 3 : 0;
  }
  const size_t server = path.find_first_of(L"\\/", start);
  if (server == std::wstring::npos || server == start) return 0;
  const size_t name = path.find_first_of(L"\\/", server + 1);
  if (name == std::wstring::npos || name == server + 1) return 0;
  return name + 1;
}

bool IsAdministrator(const std::string& sid, const std::string& administratorUser) {
  if (sid.empty()) return false;
  if (sid == administratorUser) return true;
  for (const char* administrator : kAdministrators) {
    if (sid == administrator) return true;
  }
  return false;
}

const char* WellKnownName(const std::string& sid) {
  struct Name {
    const char* sid;
    const char* name;
  };
  static const Name kNames[] = {
      {"S-1-1-0", "Everyone"},    {"S-1-5-32-545", "Users"},  {"S-1-5-11", "Authenticated Users"},
      {"S-1-5-4", "INTERACTIVE"}, {"S-1-5-32-546", "Guests"}, {"S-1-5-32-547", "Power Users"}};
  for (const Name& known : kNames) {
    if (sid == known.sid) return known.name;
  }
  return nullptr;
}

std::string Named(const std::string& sid) {
  if (sid.empty()) return "an entry of an unknown kind";
  const char* name = WellKnownName(sid);
  return name ? sid + " (" + name + ")" : sid;
}

FolderWriter FindWriter(const FolderSecurity& security, const std::string& administratorUser, std::uint32_t rights,
                        bool countInheritOnly) {
  if (!IsAdministrator(security.owner, administratorUser)) return {WriterKind::Owner, security.owner};
  if (!security.hasAccessList) return {WriterKind::NoAccessList, {}};
  for (const AccessEntry& entry : security.entries) {
    if (entry.allows && (entry.mask & rights) && (countInheritOnly || !entry.inheritOnly) &&
        !IsAdministrator(entry.sid, administratorUser)) {
      return {WriterKind::Entry, entry.sid};
    }
  }
  return {};
}

}  // namespace

FolderWriter FindNonAdministratorWriter(const FolderSecurity& security, const std::string& administratorUser) {
  // Entries that apply only to what the folder will hold count too: the files it holds inherited them.
  return FindWriter(security, administratorUser, kChangingRights, true);
}

FolderWriter FindNonAdministratorReplacer(const FolderSecurity& security, const std::string& administratorUser) {
  return FindWriter(security, administratorUser, kReplacingRights, false);
}

std::vector<std::wstring> FoldersLeadingTo(const std::wstring& path) {
  const size_t root = RootLength(path);
  if (root == 0) return {};
  std::vector<std::wstring> folders{path.substr(0, root)};
  for (size_t i = root; i < path.size(); ++i) {
    if (IsSeparator(path[i]) && !IsSeparator(path[i - 1])) folders.push_back(path.substr(0, i));
  }
  return folders;
}

std::string DescribeReplacer(const FolderWriter& writer) {
  if (writer.kind == WriterKind::Entry) return Named(writer.sid) + " may rename or remove what it holds";
  return DescribeWriter(writer);
}

std::string DescribeWriter(const FolderWriter& writer) {
  switch (writer.kind) {
    case WriterKind::None:
      return "only administrators may change it";
    case WriterKind::Owner:
      return writer.sid.empty() ? "it has no owner" : "its owner " + Named(writer.sid) + " may rewrite its permissions";
    case WriterKind::Entry:
      return Named(writer.sid) + " may write to it";
    case WriterKind::NoAccessList:
      return "it has no access list: everyone may write to it";
  }
  return "unknown";
}
