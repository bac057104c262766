#pragma once
// The name of an archive entry: its stored bytes as UTF-16 text, and the cleaning that turns it
// into a name relative to the installation folder. The text is held in wchar_t as UTF-16 code
// units, so the same code runs natively where wchar_t is wider.

#include <cstddef>
#include <string>

// Stored names of this many bytes or more do not fit the name room and decode to empty text.
constexpr size_t kEntryNameRoom = 260;

// Decodes a stored name as UTF-8, whatever the entry's flags claim. Malformed sequences become
// U+FFFD; a name of kEntryNameRoom bytes or more gives empty text.
std::wstring DecodeEntryName(const char* bytes, size_t length);

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong form, no surrogate).
bool IsWellFormedUtf8(const char* bytes, size_t length);

// UTF-16 units held in wchar_t to UTF-8, the way back from DecodeEntryName without its room limit;
// a unit that is half of no surrogate pair becomes U+FFFD.
std::string EncodeUtf8(const std::wstring& units);

// Drops drive prefixes, leading separators and everything up to a "..", until none is left in
// front: "C:\Windows\x.dll" becomes "Windows\x.dll", "x/y/../z.txt" becomes "z.txt".
std::wstring CleanEntryName(std::wstring name);
