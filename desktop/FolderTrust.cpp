#include "FolderTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include "LauncherVariant.h"
#include "LogFilePath.h"
#include "NarrowText.h"
#include "PathGuard.h"
#include "WinHandles.h"

namespace {

// SID strings are ASCII.
std::string SidText(PSID sid) {
  portico::LocalMem<wchar_t> text;
  if (!sid || !IsValidSid(sid) || !ConvertSidToStringSidW(sid, text.put())) return {};
  std::string narrow;
  for (const wchar_t* c = text.get(); *c; ++c) narrow.push_back(static_cast<char>(*c));
  return narrow;
}

AccessEntry EntryOf(const ACE_HEADER* header) {
  AccessEntry entry;
  entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {  // a conditional grant counts as granted
      const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
      entry.allows = true;
      entry.mask = allowed->Mask;
      entry.sid = SidText(const_cast<DWORD*>(&allowed->SidStart));
      break;
    }
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
      // Not made for files; where its SID lies depends on its flags. Its grant counts, as nobody's.
      entry.allows = true;
      entry.mask = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(header)->Mask;
      break;
    default:  // denying entries, audits, labels
      break;
  }
  return entry;
}

// The owner and access entries of `folder`, or the error that kept them from being read.
DWORD ReadSecurity(const std::wstring& folder, FolderSecurity& security) {
  portico::LocalMem<void> descriptor;
  const DWORD error =
      GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, descriptor.put());
  if (error == ERROR_SUCCESS) security = SecurityOf(descriptor.get());
  return error;
}

std::wstring FinalPathOfFile(const std::wstring& path) {
  // No access is asked for: only the name is wanted, and the running launcher's image opens so.
  portico::FileHandle handle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  return handle ? WithoutLongPathPrefix(FinalPathOf(handle.get())) : std::wstring();
}

bool SamePathText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The way from the drive's root to the launcher: a link on it, a path that leads elsewhere than it
// reads (a drive letter of the user's own), or a folder on it that someone else may rename.
FolderJudgement JudgeWayTo(const std::wstring& launcherPath, const std::vector<std::wstring>& leading,
                           const std::string& administratorUser) {
  // The root is left out: where a volume begins is no link a user made, yet Wine marks a drive that
  // is a host link as one.
  for (size_t i = 1; i <= leading.size(); ++i) {
    const std::wstring& component = i < leading.size() ? leading[i] : launcherPath;
    if (IsReparsePoint(component)) {
      return {FolderTrust::Writable, "its path passes through a link, " + NarrowText(component)};
    }
  }
  const std::wstring finalPath = FinalPathOfFile(launcherPath);
  if (finalPath.empty()) return {FolderTrust::Writable, "where its path leads cannot be told"};
  if (!SamePathText(finalPath, WithoutLongPathPrefix(launcherPath))) {
    return {FolderTrust::Writable, "its path leads to " + NarrowText(finalPath)};
  }
  // The last folder is the launcher's own, judged for more.
  for (size_t i = 0; i + 1 < leading.size(); ++i) {
    FolderSecurity security;
    if (const DWORD error = ReadSecurity(leading[i], security)) return {FolderTrust::Unreadable, {}, error};
    const FolderWriter writer = FindNonAdministratorReplacer(security, administratorUser);
    if (writer.kind != WriterKind::None) {
      return {FolderTrust::Writable, NarrowText(leading[i]) + ", a folder on its path: " + DescribeReplacer(writer)};
    }
  }
  return {FolderTrust::Protected};
}

}  // namespace

FolderSecurity SecurityOf(PSECURITY_DESCRIPTOR descriptor) {
  FolderSecurity security;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) security.owner = SidText(owner);
  BOOL present = FALSE;
  PACL list = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || !list) return security;
  security.hasAccessList = true;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* ace = nullptr;
    if (GetAce(list, i, &ace)) security.entries.push_back(EntryOf(static_cast<const ACE_HEADER*>(ace)));
  }
  return security;
}

std::string AdministratorUser() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators)) {
    return {};
  }
  BOOL member = FALSE;
  const bool elevated = CheckTokenMembership(nullptr, administrators, &member) && member;
  FreeSid(administrators);
  if (!elevated) return {};

  portico::KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) return {};
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

FolderJudgement JudgeFolder(const std::wstring& folder, const std::string& administratorUser) {
  FolderSecurity security;
  if (const DWORD error = ReadSecurity(folder, security)) return {FolderTrust::Unreadable, {}, error};
  const FolderWriter writer = FindNonAdministratorWriter(security, administratorUser);
  if (writer.kind == WriterKind::None) return {FolderTrust::Protected};
  return {FolderTrust::Writable, DescribeWriter(writer)};
}

FolderJudgement JudgeInstallationFolder(const std::wstring& launcherPath, const std::wstring& folder,
                                        const LauncherVariant& variant) {
  if (!variant.requiresAdministratorsFolder) return {};
  const std::vector<std::wstring> leading = FoldersLeadingTo(launcherPath);
  if (folder.empty() || leading.empty()) return {FolderTrust::Unreadable, {}, ERROR_INVALID_NAME};
  const std::string administratorUser = AdministratorUser();
  const FolderJudgement own = JudgeFolder(folder, administratorUser);
  if (own.trust != FolderTrust::Protected) return own;
  return JudgeWayTo(launcherPath, leading, administratorUser);
}
