#include "FolderTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include "LauncherVariant.h"
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
  portico::LocalMem<void> descriptor;
  const DWORD error =
      GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, descriptor.put());
  if (error != ERROR_SUCCESS) return {FolderTrust::Unreadable, {}, error};
  const FolderWriter writer = FindNonAdministratorWriter(SecurityOf(descriptor.get()), administratorUser);
  if (writer.kind == WriterKind::None) return {FolderTrust::Protected};
  return {FolderTrust::Writable, DescribeWriter(writer)};
}

FolderJudgement JudgeInstallationFolder(const std::wstring& folder, const LauncherVariant& variant) {
  if (!variant.requiresAdministratorsFolder) return {};
  if (folder.empty()) return {FolderTrust::Unreadable, {}, ERROR_INVALID_NAME};
  return JudgeFolder(folder, AdministratorUser());
}
