#include "LogHeader.h"

#include <locale>
#include <sstream>

extern const char logTag[] = "ZIR";

namespace n_log {

std::string FormatRecordHeader(const std::string& tag, cpplog::LogLevel level, const std::tm& utc) {
  std::ostringstream header;
  // A global locale with digit grouping would otherwise write the year as "2,026".
  header.imbue(std::locale::classic());
  // Widened: a calendar breakdown late enough holds tm_year == INT_MAX, and the sums would overflow.
  header << '[' << tag << "][" << cpplog::LevelLetter(level) << "][" << static_cast<long long>(utc.tm_year) + 1900
         << '-' << static_cast<long long>(utc.tm_mon) + 1 << '-' << utc.tm_mday << ' ' << utc.tm_hour << ':'
         << utc.tm_min << ':' << utc.tm_sec << "] ";
  return header.str();
}

}  // namespace n_log
