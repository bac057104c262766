#pragma once
// UTF-8 to UTF-16 without the platform: what Utf8ToWide gives, so that the configuration checker
// reads a file on Linux as the launcher reads it on Windows. The units are held in wchar_t whatever
// its width, as the launcher holds them.

#include <cstddef>
#include <string>
#include <string_view>

// Utf8ToWide's answer for the same text: room 260 with the terminating zero, false for null, and
// false with `out` empty for a text that does not fit.
bool Utf8ToUtf16(const char* utf8, std::wstring& out);

// The UTF-16 units of zero-terminated UTF-8 text as Utf8ToWide takes them, with no room limit.
std::wstring Utf8ToUtf16Units(const char* utf8);

// Offset of the first byte that does not belong to well-formed UTF-8; npos when there is none.
std::size_t FirstInvalidUtf8(std::string_view bytes);
