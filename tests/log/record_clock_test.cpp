// The record header's clock, under a time zone set through the Windows C runtime.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Recorder.h"

namespace {

std::string UtcHeader(std::time_t when, char letter = 'I') {
  std::tm utc{};
  gmtime_s(&utc, &when);
  char text[64];
  std::snprintf(text, sizeof(text), "[ZIR][%c][%d-%d-%d %d:%d:%d] ", letter, utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

TEST(RecordHeader, FollowsTheClockInUtcWhateverTheTimeZone) {
  ASSERT_EQ(_putenv_s("TZ", "JST-9"), 0);
  _tzset();
  const std::time_t before = std::time(nullptr);
  std::tm local{}, utc{};
  localtime_s(&local, &before);
  gmtime_s(&utc, &before);
  ASSERT_NE(local.tm_hour, utc.tm_hour) << "the time zone did not take";

  const std::string line = LineOf("text");
  const std::time_t after = std::time(nullptr);
  bool matched = false;
  for (std::time_t second = before; second <= after && !matched; ++second) {
    matched = line == UtcHeader(second) + "text\n";
  }
  EXPECT_TRUE(matched) << line;
}

}  // namespace
