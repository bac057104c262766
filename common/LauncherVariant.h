#pragma once
// What sets the per-user launcher apart from the machine-wide one. One build makes both from the
// same sources; each executable picks one of these and hands it to the steps that differ.

#include <windows.h>

struct LauncherVariant {
  // Where the URL scheme's keys go: `schemeClasses` (empty for the root itself) below `schemeRoot`.
  HKEY schemeRoot;
  const wchar_t* schemeClasses;
  // The desktop folder (a CSIDL) that holds the program's shortcut.
  int shortcutDesktop;
  // Only copies of the target that run as the launcher's own user count; a copy whose token
  // cannot be read counts as another user's.
  bool sameUserCopiesOnly;
  // A copy that cannot be opened may be opened again with SeDebugPrivilege enabled.
  bool mayEnableDebugPrivilege;
  // Registers the scheme and refreshes the shortcut only from a folder that nobody but
  // administrators can change: a copy elsewhere would otherwise take them over for every user.
  bool requiresAdministratorsFolder;
};

// Portico.exe: runs with administrator rights; HKEY_CLASSES_ROOT, the common desktop, every copy in
// the session.
extern const LauncherVariant kMachineWide;
// PorticoUser.exe: runs with the user's own rights; the user's classes and desktop, the user's copies.
extern const LauncherVariant kPerUser;
