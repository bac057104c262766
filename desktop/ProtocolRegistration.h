#pragma once

#include <string>

struct LauncherVariant;

enum class RegistrationOutcome { Written, InvalidScheme, PathTooLong, Failed };
struct RegistrationResult {
  RegistrationOutcome outcome = RegistrationOutcome::Failed;
  long error = 0;  // the Win32 error of a failure
};

// Makes the running launcher the open command of the URL scheme whose command key is subKey
// (below HKEY_CLASSES_ROOT). Nothing is written unless subKey is a valid scheme name followed by
// "\shell\open\command", or when the launcher's path is longer than 252 characters.
RegistrationResult WriteRegFun(const std::wstring& subKey);

// The same, below the variant's classes: HKEY_CLASSES_ROOT or the user's own.
RegistrationResult WriteRegFun(const std::wstring& subKey, const LauncherVariant& variant);
