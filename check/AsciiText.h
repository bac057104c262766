#pragma once
// Letter case as the launcher and Windows compare names here: ASCII letters only.

#include <string>
#include <string_view>

std::string AsciiLower(std::string_view text);
std::wstring AsciiLower(std::wstring_view text);
