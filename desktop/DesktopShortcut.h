#pragma once

// Points the program's shortcut on the common desktop at the launcher and moves it to its new
// name. Any argument may be null (absent). Returns -1, -2, -3, 0 or 1 as the shortcut step does.
int RefreshDesktopShortcut(const wchar_t* oldName, const wchar_t* newName, const wchar_t* targetPath,
                           const wchar_t* description, const wchar_t* iconPath,
                           const wchar_t* workingFolder);
