#pragma once
// The launcher's command-line and parameter text. Pure string work, no Win32, so that it also
// builds natively for sanitizers and fuzzing.

#include <optional>
#include <string>
#include <vector>

struct LaunchRequest {
  std::wstring text;      // the command line without a leading "forcerun:"
  bool forceRun = false;  // it began with "forcerun:" (exact case, index 0 only)
};
LaunchRequest SplitForceRun(const std::wstring& commandLine);

struct LinkPayload {
  bool found = false;    // the scheme name occurs in the command line
  std::wstring payload;  // from three characters after the scheme name to the end; empty past the end
};
// The first occurrence of `scheme` anywhere in `text`, ignoring ASCII letter case as URL schemes
// do; an empty scheme matches at index 0. The payload keeps its own case.
LinkPayload FindLinkPayload(const std::wstring& text, const std::wstring& scheme);

// The target's parameters for a link: always exactly one argument for a Windows command-line
// parser. A well-formed payload (its only quote is the closing one, with no backslash before it)
// just gets the opening quote.
std::wstring QuotePayload(const std::wstring& payload);

// Appends " IsAdmin", the hint a held Ctrl+Alt gives the target.
void AppendAdminHint(std::wstring& parameters);

// Appends " name" for each argument not yet found in the parameters from `searchFrom` on, in order.
// On a link `searchFrom` is the length of the quoted payload: the page that wrote the link must not
// be able to suppress an argument the vendor configured by mentioning it.
void AppendLaunchArguments(std::wstring& parameters, const std::vector<std::wstring>& arguments, size_t searchFrom = 0);

// ProgName without its extension (its last four characters); shorter names are kept whole.
std::wstring ShortName(const std::wstring& progName);

// "<folder>//<short name>.ico"; absent when it would not fit 259 characters.
std::optional<std::wstring> IconPathFor(const std::wstring& launcherFolder, const std::wstring& shortName);

// The folder of a file's full path, without the separator before the file's name, except in a
// drive's root ("C:\\"), since "C:" alone means the drive's current folder. Empty without a separator.
std::wstring FolderOf(const std::wstring& path);

// `folder` and `name` with one separator between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// A program name that names a file in the launcher folder and nowhere else: not empty, no folder
// separator, no drive or stream colon, no "..", and no trailing dot or blank, which Windows drops.
bool IsBareFileName(const std::wstring& name);

// A name the process-creation call would hand to the command interpreter instead of loading it as a
// program (.bat, .cmd).
bool IsCommandScriptName(const std::wstring& name);

// The target's command line: its full path in quotes, then a blank and the parameters when there are
// any (the form the shell's "open" built for a program).
std::wstring TargetCommandLine(const std::wstring& targetPath, const std::wstring& parameters);

// Whether a start refused with `error` is asked again through the elevation prompt: only for a
// program that demands more rights (ERROR_ELEVATION_REQUIRED) from a launcher that is not elevated.
bool RetryThroughElevationPrompt(unsigned long error, bool launcherElevated);

// A pipe name that stays inside the pipe namespace: no separators and no "..".
bool IsSafePipeName(const std::wstring& name);
