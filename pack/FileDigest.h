#pragma once
// A package's size and SHA-256, as the feed lists them, with libsodium's hash.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct FileDigest {
  std::uint64_t size = 0;
  std::string sha256;  // lowercase hexadecimal
};

// Nothing when the file cannot be opened or read to its end.
std::optional<FileDigest> DigestFile(const std::filesystem::path& file);
