#pragma once

#include <string>

struct LauncherVariant;
struct FolderJudgement;

enum class RegistrationOutcome {
  Written,
  InvalidScheme,
  PathTooLong,
  Failed,
  FolderNotTrusted,      // the launcher's folder is not one only administrators can change
  HeldByAnotherLauncher  // the command names a launcher that still lies in such a folder elsewhere
};
struct RegistrationResult {
  RegistrationResult(RegistrationOutcome outcome = RegistrationOutcome::Failed, long error = 0)
      : outcome(outcome), error(error) {}
  RegistrationOutcome outcome;
  long error;                  // the Win32 error of a failure, or of a folder whose permissions could not be read
  std::string writer;          // who else may change the launcher's folder (FolderNotTrusted)
  std::wstring otherLauncher;  // HeldByAnotherLauncher
};

// Makes the running launcher the open command of the URL scheme whose command key is subKey
// (below HKEY_CLASSES_ROOT). Nothing is written unless subKey is a valid scheme name followed by
// "\shell\open\command", or when the launcher's path is longer than 252 characters.
RegistrationResult WriteRegFun(const std::wstring& subKey);

// The same, below the variant's classes: HKEY_CLASSES_ROOT or the user's own.
RegistrationResult WriteRegFun(const std::wstring& subKey, const LauncherVariant& variant);

// The same for a launcher whose folder was judged: nothing is written from a folder that is not
// trusted, and, from a judged folder, a command is not taken over while the launcher it names still
// exists in another folder that only administrators can change.
RegistrationResult WriteRegFun(const std::wstring& subKey, const LauncherVariant& variant,
                               const FolderJudgement& folder);
