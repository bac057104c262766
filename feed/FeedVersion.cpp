#include "FeedVersion.h"

#include <array>
#include <cstdint>
#include <optional>

namespace {

constexpr size_t kMaxParts = 4;
constexpr size_t kMaxDigits = 9;

std::optional<std::array<uint32_t, kMaxParts>> VersionParts(std::string_view v) {
  std::array<uint32_t, kMaxParts> parts{};
  size_t count = 0;
  size_t start = 0;
  for (;;) {
    const size_t dot = v.find('.', start);
    const std::string_view part = v.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (count == kMaxParts || part.empty() || part.size() > kMaxDigits) return std::nullopt;
    if (part.size() > 1 && part[0] == '0') return std::nullopt;
    uint32_t number = 0;
    for (const char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      number = number * 10 + static_cast<uint32_t>(c - '0');
    }
    parts[count++] = number;
    if (dot == std::string_view::npos) return parts;
    start = dot + 1;
  }
}

}  // namespace

bool IsValidVersion(std::string_view v) { return VersionParts(v).has_value(); }

int CompareVersions(std::string_view a, std::string_view b) {
  const auto left = VersionParts(a);
  const auto right = VersionParts(b);
  if (!left || !right) return (left ? 1 : 0) - (right ? 1 : 0);
  for (size_t i = 0; i < kMaxParts; ++i) {
    if ((*left)[i] != (*right)[i]) return (*left)[i] < (*right)[i] ? -1 : 1;
  }
  return 0;
}
