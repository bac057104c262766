#pragma once
// Renaming a file through its open handle: no second open by name, so no link planted at the old
// name is followed, and the handle follows the file to its new name.

#include <windows.h>

#include <string>

// Gives the open file (opened with DELETE) the name `to`, replacing a file there when `replace`.
bool RenameOpenFile(HANDLE file, const std::wstring& to, bool replace);
