#pragma once
// Where the log file goes, from the LogFile setting once its variables are expanded. Pure text work,
// shared by the launcher and PorticoCheck.

#include <optional>
#include <string>

// The longest path the log file may have, in characters: the platform's limit (259 without its NUL)
// less the ".1" of the file it is rotated to, which must fit too, or the file would grow unbounded.
constexpr size_t kLogFilePathLimit = 257;

// A path that begins with a drive ("C:"), a backslash or a slash is taken as it stands; any other is
// taken from `launcherFolder`. Absent when `expanded` is empty, when a relative path has no folder to
// go by, or when the result would pass kLogFilePathLimit: a path that does not fit is no path.
std::optional<std::wstring> LogFilePathFrom(const std::wstring& expanded, const std::wstring& launcherFolder);

// The lock file of the log file at `path`: it exists while a launcher holds the lock.
std::wstring LogFileLockPath(const std::wstring& path);

// A path as GetFinalPathNameByHandleW gives it, without its "\\?\" ("\\?\UNC\" becomes "\\").
std::wstring WithoutLongPathPrefix(const std::wstring& path);
