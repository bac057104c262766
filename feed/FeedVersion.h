#pragma once
// Release versions as a feed names them: 1 to 4 dotted decimal numbers ("1", "1.2", "1.2.0.17"),
// each "0" or a number of at most 9 digits without a leading zero, compared as numbers.

#include <string_view>

bool IsValidVersion(std::string_view v);

// <0, 0 or >0 as `a` is older than, the same as or newer than `b`. Missing parts count as 0, so
// "1.2" and "1.2.0" are the same version. An invalid version sorts below every valid one; two invalid
// ones compare equal.
int CompareVersions(std::string_view a, std::string_view b);
