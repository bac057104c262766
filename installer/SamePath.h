#pragma once
// Paths compared as Windows compares them.

#include <string>

// True when `a` and `b` name one file: each made full and long (8.3 names spelt out), then compared
// without regard to case over all of Unicode. A "\\?\" prefix is dropped first.
bool SamePath(const std::wstring& a, const std::wstring& b);
