#pragma once
// Creating a folder and every missing level above it.

#include <string>

// Creates `root` (one level) when it is missing, then `folder` below it, level by level; with an
// empty root, `folder` is taken as it stands. Either separator may be used; a trailing one is
// fine. What could not be created is found by the caller when it uses the folder.
void EnsureFolder(const std::wstring& root, const std::wstring& folder);
