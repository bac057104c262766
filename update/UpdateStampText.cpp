#include "UpdateStampText.h"

uint64_t ParseUpdateStamp(std::string_view text) {
  if (text.empty() || text.size() > kMaxStampBytes) return 0;
  uint64_t seconds = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && i + 1 == text.size() && i > 0) break;
    if (text[i] < '0' || text[i] > '9') return 0;
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (seconds > (UINT64_MAX - digit) / 10) return 0;
    seconds = seconds * 10 + digit;
  }
  return seconds;
}
