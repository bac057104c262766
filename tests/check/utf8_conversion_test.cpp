// The UTF-8 reading the Linux checker uses in place of the launcher's conversion: the units the
// platform's converter gives, replacement characters included, and the launcher's room of 260.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Utf8ToUtf16.h"

namespace {

std::vector<unsigned> Units(const std::wstring& text) { return std::vector<unsigned>(text.begin(), text.end()); }

TEST(Utf8ToUtf16, InvalidSequencesBecomeReplacementsAsThePlatformGivesThem) {
  struct Case {
    const char* utf8;
    std::vector<unsigned> units;
  };
  const Case cases[] = {
      {"a\xE4\xB8\xAD", {0x61, 0x4E2D}},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
      {"\xEF\xBB\xBF"
       "a",
       {0xFEFF, 0x61}},
      {"\x80\x80"
       "a",
       {0xFFFD, 0xFFFD, 0x61}},
      {"\xC0\x80"
       "a",
       {0xFFFD, 0xFFFD, 0x61}},
      // The bytes that began to form a character share its one replacement.
      {"\xE0\x80\x80"
       "a",
       {0xFFFD, 0xFFFD, 0x61}},
      {"\xED\xA0\x80"
       "a",
       {0xFFFD, 0xFFFD, 0x61}},
      {"\xF0\x8F\xBF\xBF"
       "a",
       {0xFFFD, 0xFFFD, 0xFFFD, 0x61}},
      {"\xF4\x90\x80\x80"
       "a",
       {0xFFFD, 0xFFFD, 0xFFFD, 0x61}},
      {"\xF5\x80"
       "a",
       {0xFFFD, 0xFFFD, 0x61}},
      {"\xE4"
       "a",
       {0xFFFD, 0x61}},
      {"ab\xE4\xB8", {0x61, 0x62, 0xFFFD}},
      // Cut short just before the end, a sequence takes the terminator into its replacement, and the
      // launcher drops the last unit as if it were the terminator.
      {"ab\xE4", {0x61, 0x62}},
      {"ab\xF0\x9F", {0x61, 0x62}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Units(Utf8ToUtf16Units(c.utf8)), c.units) << c.utf8;
    std::wstring out;
    EXPECT_TRUE(Utf8ToUtf16(c.utf8, out));
    EXPECT_EQ(Units(out), c.units) << c.utf8;
  }
}

TEST(Utf8ToUtf16, TextBeyondTheRoomOrEmptyIsAbsent) {
  const std::string emoji = "\xF0\x9F\x98\x80";  // two units
  std::wstring out = L"kept";
  EXPECT_FALSE(Utf8ToUtf16(nullptr, out));
  EXPECT_EQ(out, L"kept");
  EXPECT_FALSE(Utf8ToUtf16("\xE4", out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(Utf8ToUtf16(std::string(259, 'x').c_str(), out));
  EXPECT_EQ(out.size(), 259u);
  EXPECT_FALSE(Utf8ToUtf16(std::string(260, 'x').c_str(), out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(Utf8ToUtf16((std::string(257, 'x') + emoji).c_str(), out));
  EXPECT_FALSE(Utf8ToUtf16((std::string(258, 'x') + emoji).c_str(), out));
}

TEST(Utf8ToUtf16, FirstInvalidByteIsFound) {
  EXPECT_EQ(FirstInvalidUtf8("\xEF\xBB\xBF<a>\xE4\xB8\xAD</a>"), std::string::npos);
  EXPECT_EQ(FirstInvalidUtf8("ab\xC3("), 2u);
  EXPECT_EQ(FirstInvalidUtf8("a\xED\xA0\x80"), 1u);
  EXPECT_EQ(FirstInvalidUtf8("a\xF0\x9F\x98"), 1u);
  EXPECT_EQ(FirstInvalidUtf8(std::string_view("a\0\xFF", 3)), 2u);
}

}  // namespace
