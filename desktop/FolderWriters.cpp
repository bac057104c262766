#include "FolderWriters.h"

namespace {

// Rights over a folder that let someone plant or replace its files, or take it over: add a file
// or a subfolder, delete what it holds, rewrite its permissions or its owner, and the generic
// rights that include them.
constexpr std::uint32_t kAddFile = 0x2;
constexpr std::uint32_t kAddSubfolder = 0x4;
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kChangingRights =
    kAddFile | kAddSubfolder | kDeleteChild | kWriteDac | kWriteOwner | kGenericAll | kGenericWrite;

const char* const kAdministrators[] = {
    "S-1-5-32-544",                                                    // Administrators
    "S-1-5-18",                                                        // SYSTEM
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
    "S-1-3-0",                                                         // CREATOR OWNER
    "S-1-3-4",                                                         // OWNER RIGHTS
};

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

}  // namespace

FolderWriter FindNonAdministratorWriter(const FolderSecurity& security, const std::string& administratorUser) {
  if (!IsAdministrator(security.owner, administratorUser)) return {WriterKind::Owner, security.owner};
  if (!security.hasAccessList) return {WriterKind::NoAccessList, {}};
  // Entries that apply only to what the folder will hold count too: the files it holds inherited them.
  for (const AccessEntry& entry : security.entries) {
    if (entry.allows && (entry.mask & kChangingRights) && !IsAdministrator(entry.sid, administratorUser)) {
      return {WriterKind::Entry, entry.sid};
    }
  }
  return {};
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
