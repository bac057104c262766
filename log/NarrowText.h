#pragma once
// Wide text as the log's 8-bit text in code page 936.

#include <ostream>
#include <string>

// Empty when any character has no form in code page 936. Text that is not all ASCII changes the C
// runtime's process-wide locale for the length of the conversion, which puts the caller's back.
std::string NarrowText(const std::wstring& text);
// Writes NarrowText(text) to `stream` and returns it, so that writes can be chained.
std::ostream& WriteWide(std::ostream& stream, const wchar_t* text);
