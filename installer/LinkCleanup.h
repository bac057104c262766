#pragma once
// What the launcher registered outside its folder: the scheme's key and the shortcuts. Each is
// removed only while it still points at this installation's launcher.

#include <string>
#include <vector>

// Removes the scheme's key from the machine's classes (HKLM, 64-bit view) or the user's, when its
// open command starts `launcherPath`. False only when such a key stays.
bool RemoveSchemeIfOurs(bool machineWide, const std::wstring& scheme, const std::wstring& launcherPath);

// Removes each "<name>.lnk" on the desktop and in the Start menu programs (the user's, and for the
// machine-wide product the common ones too) whose target is `launcherPath`. False when one stays.
bool RemoveShortcutsIfOurs(bool machineWide, const std::vector<std::wstring>& names, const std::wstring& launcherPath);
