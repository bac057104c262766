#pragma once
// Shortcut files written and read back through the shell's own link object, and the shell's folders.
// COM must be initialised on the calling thread.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace rig {

// What a shortcut holds, as the tests compare it.
struct ShortcutContent {
  std::wstring target, description, icon;
  int iconIndex = 0;
  std::wstring workingFolder, arguments;
  bool operator==(const ShortcutContent& other) const;
};
std::ostream& operator<<(std::ostream& out, const ShortcutContent& content);

bool WriteShortcut(const std::filesystem::path& file, const ShortcutContent& content);
std::optional<ShortcutContent> ReadShortcut(const std::filesystem::path& file);

// The folder the shell names by a CSIDL; throws when it has none.
std::filesystem::path KnownFolder(int csidl);

}  // namespace rig
