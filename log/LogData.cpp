#include "LogData.h"

#include <cstring>

namespace cpplog {
namespace helpers {

fixed_streambuf::fixed_streambuf(char* area, std::size_t size) { setp(area, area + size); }

fixed_streambuf::~fixed_streambuf() = default;

void fixed_streambuf::dropLast() {
  if (used() > 0) pbump(-1);
}

}  // namespace helpers

LogData::LogData(LogLevel level) : streamBuffer(buffer, kTextCapacity), stream(&streamBuffer), level(level) {
  buffer[kTextCapacity] = '\0';
}

LogData::~LogData() = default;

void LogData::endLine() {
  const std::size_t used = length();
  if (used > 0 && buffer[used - 1] == '\n') return;
  if (used == streamBuffer.capacity()) streamBuffer.dropLast();
  streamBuffer.sputc('\n');
}

void LogData::stamp(std::int64_t secondsSince1970) {
  timeStamp = secondsSince1970;
  utcTime = UtcTime(secondsSince1970);
}

const char* SourceFileName(const char* path) {
  if (!path) return "";
  if (const char* slash = std::strrchr(path, '/')) return slash + 1;
  if (const char* backslash = std::strrchr(path, '\\')) return backslash + 1;
  return path;
}

std::tm UtcTime(std::int64_t secondsSince1970) {
  const std::time_t time = static_cast<std::time_t>(secondsSince1970);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &time);
#else
  gmtime_r(&time, &utc);
#endif
  return utc;
}

}  // namespace cpplog
