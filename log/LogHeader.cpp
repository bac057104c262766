#include "LogHeader.h"

#include <locale>
#include <sstream>

namespace n_log {

std::string FormatRecordHeader(const std::string& tag, cpplog::LogLevel level, const std::tm& utc) {
  std::ostringstream header;
  // A global locale with digit grouping would otherwise write the year as "2,026".
  header.imbue(std::locale::classic());
  header << '[' << tag << "][" << cpplog::LevelLetter(level) << "][" << utc.tm_year + 1900 << '-' << utc.tm_mon + 1
         << '-' << utc.tm_mday << ' ' << utc.tm_hour << ':' << utc.tm_min << ':' << utc.tm_sec << "] ";
  return header.str();
}

}  // namespace n_log
