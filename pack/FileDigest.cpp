#include "FileDigest.h"

#include <sodium.h>

#include <fstream>
#include <vector>

std::optional<FileDigest> DigestFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  FileDigest digest;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = in.gcount();
    crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(buffer.data()),
                              static_cast<unsigned long long>(got));
    digest.size += static_cast<std::uint64_t>(got);
  }
  if (!in.eof()) return std::nullopt;
  unsigned char hash[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, hash);
  static const char kHex[] = "0123456789abcdef";
  for (const unsigned char byte : hash) {
    digest.sha256 += kHex[byte >> 4];
    digest.sha256 += kHex[byte & 0xF];
  }
  return digest;
}
