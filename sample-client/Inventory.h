#pragma once
// What SampleClient saw of its installation when it started: each file below its folder with its
// size and CRC-32, so that a test can tell which version of every file was in place.

#include <string>
#include <vector>

// One record line per file below `folder`, at any depth, sorted by relative path (as UTF-8 bytes):
// "saw <relative path, escaped> <size> <crc32 as 8 lowercase hex digits>", or
// "saw <relative path, escaped> unreadable, error N". The size and CRC are the last two fields (a
// path may hold blanks). Files named in `skipped` (full paths, any letter case) are left out, and
// folders that are reparse points are not entered: they lead out of the folder, or round in a circle.
std::vector<std::string> InventoryLines(const std::wstring& folder, const std::vector<std::wstring>& skipped);
