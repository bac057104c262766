#pragma once
// Where a path really leads. A folder of the installation, or its temp, may be a junction or a
// symbolic link that a user without administrator rights made; an elevated write through it lands
// wherever it points. Wine follows a host symbolic link the same way and reports it the same way.

#include <windows.h>

#include <string>

bool IsReparsePoint(const std::wstring& path);

// The path the file system resolved for an open file or folder ("\\?\C:\..."); empty when it cannot
// tell.
std::wstring FinalPathOf(HANDLE handle);
std::wstring FinalPathOfFolder(const std::wstring& folder);

// True when the open `file` is `name` directly in `folder` and nowhere else. Under Wine a host
// symbolic link opens as what it leads to, wherever that lies, and reports no reparse point.
bool LiesAtItsName(HANDLE file, const std::wstring& folder, const std::wstring& name);

// The cleaned name is relative, but the file system still has the last word on where it leads: true
// when the full path of `root` (ending in a separator) and `name` lies below the root and fits the
// path room.
bool LiesInsideRoot(const std::wstring& root, const std::wstring& name);

// True when `finalPath` lies below `finalFolder`, both as FinalPathOf gives them.
bool LiesBelow(const std::wstring& finalPath, const std::wstring& finalFolder);
