// The log file's pure text work: link queries masked, and the file's path from its setting.
#include <gtest/gtest.h>

#include "LogFilePath.h"
#include "QueryMask.h"

namespace {

TEST(MaskLinkQueries, MasksEveryValueAndBareSegmentKeepsKeysAndTheClosingQuote) {
  const struct {
    std::string line;
    std::string masked;
  } cases[] = {
      {"par: \"open?id=7\"\n", "par: \"open?id=*\"\n"},
      {"par: \"open?id=7&token=abc&id=\"\n", "par: \"open?id=*&token=*&id=\"\n"},
      {"par: \"open?a=1=2&bare&&=x\"", "par: \"open?a=*&*&&=*\""},
      {"par: \"open#access_token=t&s=1\"\n", "par: \"open#access_token=*&s=*\"\n"},
      {"par: \"open?x=1#y=2?z=3\"\n", "par: \"open?x=*#y=*?z=*\"\n"},
      {"par: \"open?id=7 tail\"\n", "par: \"open?id=*\"\n"},
      {"par: \"open?id=\xD6\xD0\xCE\xC4\"\n", "par: \"open?id=*\"\n"},  // code page 936 text as a value
      {"par: \"open?\"\n", "par: \"open?\"\n"},
      {"par: \"a\"b?x=\"\"\n", "par: \"a\"b?x=*\"\n"},
      {"class path: Demo.exe\n", "class path: Demo.exe\n"},
      {"?\n", "?\n"},
      {"#", "#"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaskLinkQueries(c.line), c.masked) << c.line;
    EXPECT_EQ(MaskLinkQueries(c.masked), c.masked) << c.line;
  }
}

TEST(LogFilePathFrom, RelativePathsAreTakenFromTheFolderOthersAsTheyStandWithinTheLimit) {
  const std::wstring folder = L"C:\\Demo";
  EXPECT_EQ(LogFilePathFrom(L"logs\\p.log", folder), L"C:\\Demo\\logs\\p.log");
  EXPECT_EQ(LogFilePathFrom(L"p.log", L"C:\\"), L"C:\\p.log");
  EXPECT_EQ(LogFilePathFrom(L"D:\\x\\p.log", folder), L"D:\\x\\p.log");
  EXPECT_EQ(LogFilePathFrom(L"\\\\server\\share\\p.log", folder), L"\\\\server\\share\\p.log");
  EXPECT_EQ(LogFilePathFrom(L"\\x\\p.log", folder), L"\\x\\p.log");
  EXPECT_EQ(LogFilePathFrom(L"", folder), std::nullopt);
  EXPECT_EQ(LogFilePathFrom(L"p.log", L""), std::nullopt);
  const std::wstring fits = L"C:\\" + std::wstring(kLogFilePathLimit - 3, L'x');
  EXPECT_EQ(LogFilePathFrom(fits, folder), fits);
  EXPECT_EQ(LogFilePathFrom(fits + L"x", folder), std::nullopt);
  EXPECT_EQ(LogFilePathFrom(std::wstring(kLogFilePathLimit - folder.size() - 1, L'x'), folder)->size(),
            kLogFilePathLimit);
  EXPECT_EQ(LogFilePathFrom(std::wstring(kLogFilePathLimit - folder.size(), L'x'), folder), std::nullopt);
}

}  // namespace
