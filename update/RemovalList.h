#pragma once
// The list of installed files an update archive removes: one entry at the archive's root, a path a
// line. Judged with the entry names' own rules, so that a removal reaches no further than a write.

#include <string>
#include <string_view>
#include <vector>

constexpr const wchar_t* kRemovalListName = L"~pt~removals.txt";
constexpr size_t kRemovalListMostBytes = 1024 * 1024;
constexpr size_t kRemovalListMostLines = 65536;

// The stored name of the list entry in any ASCII letter case, at the root only.
bool IsRemovalListName(const std::wstring& entryName);

struct RemovalList {
  bool refused = false;             // over a bound: nothing in it may be removed
  std::vector<std::wstring> paths;  // '\' separated; a trailing '\' names a folder
  int unsafe = 0;                   // lines skipped as no entry could take their name
};

// UTF-8 text, a leading BOM ignored, LF or CRLF, empty lines ignored. A line that is not well-formed
// UTF-8, does not fit an entry's name room, would be changed by cleaning (a drive, a root, a ".."),
// is an unsafe entry name, or has an empty component or one that Windows would trim (a trailing
// dot or blank) is counted unsafe and skipped.
RemovalList ParseRemovalList(std::string_view bytes);

// The list for a set of paths: '/' separated, sorted by their UTF-8 bytes, each once, each line ending
// in LF (after an empty line when the first begins with U+FEFF, which would read as a BOM). Empty
// paths and paths holding a line end are left out: they could not be read back.
std::string WriteRemovalList(const std::vector<std::wstring>& paths);
