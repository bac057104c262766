#pragma once
// The names of an update pass's own temporary files: new data on its way in, and old files moved
// aside. No archive entry may take such a name, so that a later pass can remove every one it finds
// (a pass that was killed leaves them behind) and nothing else.

#include <cstdint>
#include <string>

// "~pt~<process id>-<serial>.tmp", in hexadecimal.
std::wstring OrphanName(uint32_t processId, uint32_t serial);

// True when a file or folder name starts with "~pt~" in any ASCII letter case: the file system
// ignores case, so no spelling of it is free for an entry.
bool IsOrphanName(const std::wstring& name);

// The file in the installation's folder that keeps the trusted time of the last signed update. It is
// no orphan, and no entry may take its name in any letter case either.
constexpr wchar_t kUpdateStampName[] = L"~pt-update.stamp";
bool IsUpdateStampName(const std::wstring& name);

// True when `name` is `ownName` (in lower case) in any ASCII letter case.
bool IsOwnName(const std::wstring& name, const std::wstring& ownName);
