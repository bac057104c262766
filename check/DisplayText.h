#pragma once
// The launcher's wide text shown as UTF-8, the checker's output encoding in both builds.

#include <string>

// UTF-16 units held in wchar_t to UTF-8; a unit that is half of no surrogate pair becomes U+FFFD.
std::string Utf8(const std::wstring& units);

// `utf8` cut to 64 bytes at the start of a character, with "..." after the cut: element names and
// attribute texts can be of any length.
std::string Shortened(const std::string& utf8);

// `utf8` in double quotes, a control character as <U+000A>, so that a value stays on its line and
// its leading and trailing blanks show.
std::string Quoted(const std::string& utf8);
std::string Quoted(const std::wstring& units);
