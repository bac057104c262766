#pragma once
// The update key compiled into a launcher, read from the launcher file itself: the launcher keeps
// the base64 line of minisign.pub as a zero-terminated string, which the key parser recognises.

#include <optional>
#include <string>
#include <string_view>

// A launcher file is a few MiB; anything larger than this is read no further.
constexpr size_t kLauncherFileRoom = 64u << 20;

// The first key line in the file's bytes; empty when it carries none.
std::string CompiledKeyLine(std::string_view executable);

// The key id (as minisign shows it) of that line; nothing when the file carries none.
std::optional<std::string> CompiledKeyId(std::string_view executable);
