#pragma once
// Where the launcher writes its log file, and whether the LogFile setting can be used at all.

#include <filesystem>
#include <optional>
#include <string>

#include "CheckReport.h"

// The platform's expansion of %VAR% references; absent when the result does not fit the path limit.
using VariableExpansion = std::optional<std::wstring> (*)(const std::wstring& text);

// With `expand` (Windows), the path the launcher in `launcherFolder` would use goes into the plan
// when expansion changed the setting; without it (Linux, which cannot expand Windows variables), the
// setting is taken as configured, from the shortest folder there is. A path too long to use is a
// warning.
void CheckLogFile(const std::filesystem::path& launcherFolder, VariableExpansion expand, CheckReport& report);
