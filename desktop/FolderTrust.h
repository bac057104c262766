#pragma once
// Whether the folder of a machine-wide launcher is one that only administrators can change. A
// launcher copied with a configuration of someone's own into a folder they can write would
// otherwise, once an administrator approved its start, take every user's links and shortcut there.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "FolderWriters.h"

struct LauncherVariant;

enum class FolderTrust { NotJudged, Protected, Writable, Unreadable };
struct FolderJudgement {
  FolderJudgement(FolderTrust trust = FolderTrust::NotJudged, std::string writer = {}, DWORD error = 0)
      : trust(trust), writer(std::move(writer)), error(error) {}
  FolderTrust trust;
  std::string writer;  // DescribeWriter's text, for a writable folder
  DWORD error;         // for an unreadable one
  // Registration and shortcut go ahead: the folder was not judged, or only administrators can change it.
  bool trusted() const { return trust == FolderTrust::NotJudged || trust == FolderTrust::Protected; }
};

// The owner and the access entries of a descriptor, read or built from SDDL.
FolderSecurity SecurityOf(PSECURITY_DESCRIPTOR descriptor);

// The SID of this process's user when its token holds Administrators enabled (as an elevated
// launcher's does); empty otherwise, so that a launcher run with plain rights counts its own
// user's folders as the user's.
std::string AdministratorUser();

// Judges a folder by its security descriptor; Unreadable when it cannot be read.
FolderJudgement JudgeFolder(const std::wstring& folder, const std::string& administratorUser);

// The folder of the launcher at `launcherPath` (GetModuleFileNameW's path; `folder` is its folder),
// for a variant that requires one only administrators can change; NotJudged for the others. The
// scheme and the shortcut name that path, so the way to it counts as well: it is Writable when it
// passes through a link (a junction, a symbolic link) or leads to another final path, or when someone
// besides administrators may rename or remove a folder on it. A path that is not known cannot be
// judged and counts as Unreadable.
FolderJudgement JudgeInstallationFolder(const std::wstring& launcherPath, const std::wstring& folder,
                                        const LauncherVariant& variant);
