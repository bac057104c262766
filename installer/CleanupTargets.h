#pragma once
// What the uninstall cleanup looks at, as text: the program an open command starts, the shortcut
// names a product may have had, and the cleanup's own command line. Builds anywhere.

#include <optional>
#include <string>
#include <vector>

struct ProductConfig;

// The program an open command starts: its first argument, quoted or up to the first blank.
// Nothing for an empty command or an unclosed quote.
std::optional<std::wstring> ProgramOfOpenCommand(const std::wstring& command);

// Every shortcut name the configuration gives, old and new, Chinese and English, each once.
std::vector<std::wstring> ShortcutNamesOf(const ProductConfig& config);

// "--uninstall machine" or "--uninstall user" (blanks around the words allowed): true for the
// machine-wide variant, false for the per-user one, nothing for any other command line.
std::optional<bool> MachineWideFromArguments(const std::wstring& arguments);
