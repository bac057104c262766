// Wide text to the log's code page 936 under the real C runtime.
#include <gtest/gtest.h>

#include <clocale>
#include <sstream>

#include "NarrowText.h"

namespace {

TEST(NarrowText, GivesCodePage936Bytes) {
  EXPECT_EQ(NarrowText(L""), "");
  EXPECT_EQ(NarrowText(L"class path: a.exe"), "class path: a.exe");
  EXPECT_EQ(NarrowText(L"中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(NarrowText(L"a中b"), std::string("a\xD6\xD0") + "b");

  std::ostringstream out;
  WriteWide(WriteWide(out, L"par: "), L"文") << '!';
  EXPECT_EQ(out.str(), "par: \xCE\xC4!");
}

TEST(NarrowText, KeepsAsciiAsTheCodePageDoesAndEndsAtANul) {
  std::wstring ascii;
  for (wchar_t c = 1; c <= 0x7F; ++c) ascii.push_back(c);
  EXPECT_EQ(NarrowText(ascii), std::string(ascii.begin(), ascii.end()));
  EXPECT_EQ(NarrowText(std::wstring(L"ab\0cd", 5)), "ab");
  EXPECT_EQ(NarrowText(std::wstring(L"a\0\u0E01", 3)), "a");
  EXPECT_EQ(NarrowText(std::wstring(L"中\0\u0E01", 3)), "\xD6\xD0");
}

TEST(NarrowText, IsEmptyWhenACharacterIsOutsideCodePage936) {
  EXPECT_EQ(NarrowText(L"\u0E01"), "");            // Thai
  EXPECT_EQ(NarrowText(L"abc中\u0E01def"), "");    // nothing of the part before it
  EXPECT_EQ(NarrowText(L"smile \U0001F600"), "");  // outside the basic plane
}

TEST(NarrowText, LeavesTheCallersLocaleAsItWas) {
  for (const char* locale : {"C", "English_United States.1252"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
    const std::string before = std::setlocale(LC_ALL, nullptr);
    EXPECT_EQ(NarrowText(L"中"), "\xD6\xD0");
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
  }
  // Categories set apart from each other come back apart.
  std::setlocale(LC_ALL, "C");
  ASSERT_NE(std::setlocale(LC_CTYPE, "English_United States.1252"), nullptr);
  const std::string before = std::setlocale(LC_ALL, nullptr);
  EXPECT_EQ(NarrowText(L"\u0E01"), "");
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  std::setlocale(LC_ALL, "C");
}

}  // namespace
