#pragma once
// The trusted timestamp of the last signed update begun in an installation, so that no older one,
// however well signed, is ever installed over it.

#include <cstdint>
#include <optional>
#include <string>

// The stamp in `root` (ending in a separator); 0 when there is none or it holds no number. Nothing
// when it is there but cannot be read now: whoever holds it must not lift the check by that alone.
std::optional<uint64_t> ReadUpdateStamp(const std::wstring& root);

// Replaces the stamp whole or not at all, durably, as every installed file is replaced.
bool WriteUpdateStamp(const std::wstring& root, uint64_t seconds);

// Whether the installation in `folder` has ever begun a signed update: it then takes no unchecked one.
bool HasUpdateStamp(const std::wstring& folder);
