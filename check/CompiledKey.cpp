#include "CompiledKey.h"

#include "MinisignFormat.h"

namespace {

// The base64 of minisign's 42 key bytes.
constexpr size_t kKeyLineLength = 56;

bool IsBase64(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
}

}  // namespace

std::string CompiledKeyLine(std::string_view executable) {
  size_t start = 0;
  for (size_t i = 0; i < executable.size(); ++i) {
    if (IsBase64(executable[i])) continue;
    // A run of base64 that a zero ends, of the key line's length.
    if (executable[i] == '\0' && i - start == kKeyLineLength) {
      const std::string_view line = executable.substr(start, kKeyLineLength);
      if (ParseMinisignKey(line)) return std::string(line);
    }
    start = i + 1;
  }
  return std::string();
}

std::optional<std::string> CompiledKeyId(std::string_view executable) {
  const std::string line = CompiledKeyLine(executable);
  if (line.empty()) return std::nullopt;
  return KeyIdText(ParseMinisignKey(line)->id);
}
