#pragma once
// The log file's path from the LogFile setting, with its %VAR% references expanded.

#include <optional>
#include <string>

// `text` with its environment variables expanded; absent when the result would pass the path limit.
std::optional<std::wstring> ExpandVariables(const std::wstring& text);

// The path of the log file for the LogFile setting of a launcher in `launcherFolder`; empty for none
// (no setting, or a path that does not fit once expanded and taken from the folder).
std::wstring LogFilePathFor(const std::wstring& setting, const std::wstring& launcherFolder);
