#pragma once
// The installation folder emptied of what the launcher and its updates added: the stamp, temp and
// its downloads, orphans, log files, files of updates. Windows Installer then removes its own
// files and the folder.

#include <string>

// Removes everything in `folder` but the file `keep` (a name in it): links (reparse points) are
// removed as links and never followed, and a folder is entered only while it is held open and its
// final path lies inside `folder`. Refuses (false, nothing removed) when `folder` itself is a link or
// its final path is another. False too when anything stays.
bool EmptyInstallation(const std::wstring& folder, const std::wstring& keep);
