#pragma once

struct LauncherVariant;

// Points the program's shortcut on the common desktop at the launcher and moves it to its new
// name. Any argument may be null (absent); a name that cannot be a file on the desktop counts as
// absent. Returns -1 (no old name), -2 (no common desktop), -3 (neither shortcut file exists), 0 (the
// shortcut could not be loaded) or 1 (refreshed; the save may still have failed).
int RefreshDesktopShortcut(const wchar_t* oldName, const wchar_t* newName, const wchar_t* targetPath,
                           const wchar_t* description, const wchar_t* iconPath, const wchar_t* workingFolder);

// The same on the variant's desktop: the common one or the user's own (-2 when it cannot be located).
int RefreshDesktopShortcut(const LauncherVariant& variant, const wchar_t* oldName, const wchar_t* newName,
                           const wchar_t* targetPath, const wchar_t* description, const wchar_t* iconPath,
                           const wchar_t* workingFolder);
