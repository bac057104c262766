#pragma once
// The configuration's text conversions, each into a fixed room counted with the terminating zero.
// Text that does not fit is refused whole, never cut: a cut program name would start the wrong
// program. All return true when the result is not empty; given null (an absent value) they return
// false and leave `out` untouched; given text that does not fit they return false with `out` empty.

#include <string>

// UTF-8 to UTF-16, room 260 (at most 259 UTF-16 units).
bool Utf8ToWide(const char* utf8, std::wstring& out);
// UTF-8 to the system's ANSI code page, room 512 bytes.
bool Utf8ToAnsi(const char* utf8, std::string& out);
// Code page 936 (Simplified Chinese), whatever the system's ANSI code page, to UTF-16, room 128.
bool Cp936ToWide(const char* text, std::wstring& out);
