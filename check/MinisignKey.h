#pragma once
// A minisign public key as the launcher reads it: the base64 line of a minisign.pub file.

#include <optional>
#include <string>

// The key id as minisign shows it (16 hexadecimal digits) when `text` is the base64 of exactly 42
// bytes beginning with "Ed" (the algorithm, then the 8-byte key id and the 32-byte key); else nothing.
std::optional<std::string> MinisignKeyId(const std::wstring& text);
