#pragma once
// Files that take an installed file's name whole or not at all: written under an orphan name, made
// durable, then renamed over the old one. And the orphans a killed pass leaves behind.

#include <windows.h>

#include <string>
#include <vector>

#include "FileRename.h"
#include "WinHandles.h"

// A new, empty file under a fresh orphan name in `folder` (which ends in a separator), open for
// writing and for its own deletion; `path` receives its name. Empty when none could be made.
portico::FileHandle CreateOrphanFile(const std::wstring& folder, DWORD attributes, std::wstring& path);

// Deletes what the handle names (opened with DELETE and FILE_WRITE_ATTRIBUTES), read-only or not,
// wherever that turned out to be, and closes it. False, with the last error, when it could not be
// deleted.
bool DiscardOpenFile(portico::FileHandle& file);

// Deletes a file, read-only or not.
bool DeleteAnyFile(const std::wstring& path);

// Removes every file directly in `folder` (ending in a separator) whose name is an orphan's, and
// nothing else. One still in use (a program that was moved aside and still runs) stays for later.
// Answers how many were removed.
int SweepOrphans(const std::wstring& folder);

// Renames the finished, durable file `temporary`, open as `file` (for its deletion too), over
// `path`; the handle stays open and names the file in its new place.
// - A read-only installed file loses its attribute first, and gets it back if the rename fails.
// - Virus scanners, the search indexer and Explorer hold files for moments: on a sharing or access
//   error the rename is tried again, for about two seconds in all.
// - A running program or DLL cannot be replaced but can be renamed: it is moved aside under an
//   orphan name, which is appended to `movedAside`, and the new file takes its name.
// - A folder at `path` is never replaced, moved or emptied: the call fails and the folder stays.
bool PutInPlace(portico::FileHandle& file, const std::wstring& temporary, const std::wstring& path,
                std::vector<std::wstring>& movedAside);
