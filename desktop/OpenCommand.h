#pragma once
// The text of the URL scheme's open command, apart from the registry so that it builds anywhere.

#include <cstddef>
#include <optional>
#include <string>

// The command, the path, two pairs of quotes, a blank and "%1", must fit 260 characters with its
// terminating zero.
constexpr std::size_t kMaxLauncherPathForCommand = 252;

// True when subKey is a scheme name followed by "\shell\open\command", the name being one a URL can
// begin with: a letter, then letters, digits, "+", "-" or ".". Any other subKey would name the open
// command of some other key of HKEY_CLASSES_ROOT.
bool IsSchemeCommandKey(const std::wstring& subKey);
// The scheme name of such a subKey; nothing for any other.
std::optional<std::wstring> SchemeOfCommandKey(const std::wstring& subKey);

// "\"<launcherPath>\" \"%1\"", or nothing for an empty path or one longer than
// kMaxLauncherPathForCommand.
std::optional<std::wstring> OpenCommandText(const std::wstring& launcherPath);

// The program an open command starts: the text between its leading pair of quotes, or up to its
// first blank when it has none; nothing unless that is a full path (a drive and "\", or "\\").
std::optional<std::wstring> ProgramOfCommand(const std::wstring& command);
