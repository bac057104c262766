#pragma once
// The updater's small files: read whole within a bound, replaced whole, and the installation's
// rollout bucket.

#include <cstdint>
#include <string>
#include <string_view>

namespace portico::client::updater {

// False when the file is missing, unreadable or larger than `limit`.
bool ReadSmallFile(const std::wstring& path, size_t limit, std::string& bytes);

// Written beside as <path>.new and renamed over `path`, so that a reader sees the old bytes or the new.
bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes);

bool EnsureFolder(const std::wstring& folder);

// stateFolder\bucket: 0..9999, drawn once from the system's random numbers and kept. A kept value
// that is not a bucket is drawn again.
std::uint32_t InstallationBucket(const std::wstring& stateFolder);

}  // namespace portico::client::updater
