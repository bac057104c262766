#pragma once
// Whether the launcher would install a tree's file under the name it has, judged by the launcher's
// own entry name code.

#include <optional>
#include <string>

// Nothing when the launcher takes the name (UTF-8, '/' between components) as it stands; otherwise
// why not, in words for the person who named the file.
std::optional<std::string> NameRefusal(const std::string& name, bool folder);

// Why IsUnsafeEntryName refuses a name, in words: "holds ...", "is ...".
std::string UnsafeNameReason(const std::wstring& name);

// The key under which Windows sees two names as one file: ASCII letters folded, as the launcher
// compares names.
std::string FoldedName(const std::string& name);
