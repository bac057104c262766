#pragma once
// The folder of the launcher's own executable, with its trailing backslash.

#include <string>

// The 8-bit form in the system's ANSI code page, read into a 1024-byte room. Characters the code
// page lacks come back as its default character, so this form names no file in such a folder.
// False, with `folder` unchanged, when the path cannot be read, does not fit or has no backslash.
bool GetLauncherFolderAnsi(std::string& folder);

// The UTF-16 form, read into a room of 1024 units; the update is staged through this one, so that
// any folder name works. Fails like GetLauncherFolderAnsi.
bool GetLauncherFolder(std::wstring& folder);
