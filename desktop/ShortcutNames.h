#pragma once
// Shortcut names as files on the desktop, apart from the shell so that it builds anywhere.

#include <optional>
#include <string>

// False for an absent or empty name and for one holding "\", "/" or ":": such a name would lead
// out of the desktop folder or into a stream or a drive, so it counts as no name at all.
bool IsShortcutName(const wchar_t* name);

// "<desktopFolder>\<name>.lnk", or nothing when the name is not a shortcut name or the file would
// not fit a 260-character path with its terminating zero.
std::optional<std::wstring> ShortcutFile(const std::wstring& desktopFolder, const wchar_t* name);
