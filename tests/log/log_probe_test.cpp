// The probe as its own Windows process: what a log statement leaves on the debugger channel and on
// standard error.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <numeric>

#include "Debuggee.h"
#include "Scratch.h"

namespace {

std::filesystem::path Probe() { return rig::BinaryFolder() / L"LogProbe.exe"; }

// Header of an INFO line for a time, written out independently of the library.
std::string ExpectedHeader(std::time_t when) {
  std::tm utc{};
  gmtime_s(&utc, &when);
  char text[64];
  std::snprintf(text, sizeof(text), "[ZIR][I][%d-%d-%d %d:%d:%d] ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::string Letters(int size) {
  std::string record;
  for (int k = 0; k + 1 < size; ++k) record += static_cast<char>('a' + k % 26);
  return record + "\n";
}

TEST(LogProbe, StatementWritesTheSameBareLineToStandardErrorAndDebugger) {
  rig::DebuggeeOptions options;
  // A zone far from UTC: the header must not follow it.
  options.environment = {{L"TZ", L"JST-9"}};
  const std::time_t before = std::time(nullptr);
  const auto result = rig::RunDebuggee(Probe(), L"statement \"Sample 中文.exe\"", options);
  const std::time_t after = std::time(nullptr);
  ASSERT_FALSE(result.timedOut);
  ASSERT_EQ(result.exitCode, 0u);

  const std::string text = "class path: Sample \xD6\xD0\xCE\xC4.exe\n";
  bool matched = false;
  for (std::time_t second = before; second <= after && !matched; ++second) {
    matched = result.standardError == ExpectedHeader(second) + text;
  }
  EXPECT_TRUE(matched) << "standard error: " << result.standardError;
  EXPECT_EQ(result.standardError.find('\r'), std::string::npos);
  ASSERT_EQ(result.debugStrings.size(), 1u);
  EXPECT_EQ(result.debugStrings[0], result.standardError);
}

TEST(LogProbe, DebuggerReceivesRecordsInPiecesOf256Bytes) {
  const auto result = rig::RunDebuggee(Probe(), L"records 300 256 512");
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u);

  std::vector<size_t> sizes;
  for (const auto& piece : result.debugStrings) sizes.push_back(piece.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{256, 44, 256, 256, 256}));

  const std::string lines = Letters(300) + Letters(256) + Letters(512);
  EXPECT_EQ(std::accumulate(result.debugStrings.begin(), result.debugStrings.end(), std::string()), lines);
  EXPECT_EQ(result.standardError, lines);
}

}  // namespace
