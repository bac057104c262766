// The removal list an update archive may carry, read from bytes. Pure: also built natively with
// the sanitizers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RemovalList.h"

namespace {

struct ListCase {
  const char* what;
  std::string bytes;
  std::vector<std::wstring> paths;
  int unsafe;
};

TEST(RemovalList, EachLineIsAPathOrCountedUnsafe) {
  const std::vector<ListCase> cases = {
      {"LF", "a.dll\nbin/b.dll\n", {L"a.dll", L"bin\\b.dll"}, 0},
      {"CRLF, last line without end", "a.dll\r\nbin\\b.dll", {L"a.dll", L"bin\\b.dll"}, 0},
      {"BOM",
       "\xEF\xBB\xBF"
       "a.dll\n",
       {L"a.dll"},
       0},
      {"BOM only at the start",
       "a.dll\n\xEF\xBB\xBF"
       "b.dll\n",
       {L"a.dll",
        L"\xFEFF"
        L"b.dll"},
       0},
      {"empty lines", "\n\r\na.dll\n\n\r\n", {L"a.dll"}, 0},
      {"nothing", "", {}, 0},
      {"folder", "old/\nold\\sub\\\n", {L"old\\", L"old\\sub\\"}, 0},
      {"non-ASCII UTF-8",
       "\xE5\xAE\x89/\xE6\x96\x87.txt\n\xF0\x9F\x98\x80\n",
       {L"\x5B89\\\x6587.txt", std::wstring({wchar_t(0xD83D), wchar_t(0xDE00)})},
       0},
      {"invalid UTF-8", "a\xFF.dll\n\xC0\xAF\nb.dll\n\xED\xA0\x80\n", {L"b.dll"}, 3},
      {"parent steps", "../x.dll\na/../../x.dll\na\\..\\x\n...\\x\n. .\\x\n", {}, 5},
      {"drives and roots", "C:\\Windows\\x.dll\n/etc/x\n\\\\server\\share\\x\nC:x\n", {}, 4},
      {"devices and streams", "NUL\nbin/com1.txt\na.dll:stream\n", {}, 3},
      {"own names", "~pt~removals.txt\n~PT~1-0.tmp\n~pt-update.stamp\n", {}, 3},
      {"names Windows trims", "a.dll.\na.dll \n./a.dll\nx/./a.dll\n", {}, 4},
      {"empty components", "/\n//\na//b\nold//\n", {}, 4},
      {"control characters", std::string("a\tb\nc\rd\n") + std::string("e\0f\n", 4), {}, 3},
      {"name room", std::string(259, 'n') + "\n" + std::string(260, 'n') + "\n", {std::wstring(259, L'n')}, 1},
  };
  for (const ListCase& c : cases) {
    const RemovalList list = ParseRemovalList(c.bytes);
    EXPECT_FALSE(list.refused) << c.what;
    EXPECT_EQ(list.paths, c.paths) << c.what;
    EXPECT_EQ(list.unsafe, c.unsafe) << c.what;
  }
}

TEST(RemovalList, AListOverABoundIsRefusedWhole) {
  const std::string atMostBytes = std::string(kRemovalListMostBytes - 1, 'a') + "\n";
  EXPECT_FALSE(ParseRemovalList(atMostBytes).refused);
  EXPECT_TRUE(ParseRemovalList(atMostBytes + "b").refused);

  std::string atMostLines;
  for (size_t i = 0; i < kRemovalListMostLines; ++i) atMostLines += "x\n";
  const RemovalList full = ParseRemovalList(atMostLines);
  EXPECT_FALSE(full.refused);
  EXPECT_EQ(full.paths.size(), kRemovalListMostLines);
  const RemovalList over = ParseRemovalList(atMostLines + "x");
  EXPECT_TRUE(over.refused);
  EXPECT_TRUE(over.paths.empty());
  EXPECT_TRUE(ParseRemovalList(atMostLines + "\n").refused);  // an empty line counts too
}

TEST(RemovalList, OnlyTheRootEntryInAnyCaseIsTheList) {
  EXPECT_TRUE(IsRemovalListName(L"~pt~removals.txt"));
  EXPECT_TRUE(IsRemovalListName(L"~PT~Removals.TXT"));
  for (const wchar_t* other :
       {L"bin/~pt~removals.txt", L"/~pt~removals.txt", L"~pt~removals.txt/", L"~pt~removals", L"~pt~removals.txt.",
        L"\x017F"
        L"~pt~removals.txt"}) {
    EXPECT_FALSE(IsRemovalListName(other)) << other;
  }
}

TEST(RemovalList, WrittenSortedOnceAndReadBack) {
  const std::vector<std::wstring> paths = {L"b\\x.dll", L"a.dll", L"\x5B89.txt", L"a.dll", L"old/", L"", L"c\nd"};
  const std::string text = WriteRemovalList(paths);
  EXPECT_EQ(text, "a.dll\nb/x.dll\nold/\n\xE5\xAE\x89.txt\n");
  const RemovalList list = ParseRemovalList(text);
  EXPECT_EQ(list.paths, (std::vector<std::wstring>{L"a.dll", L"b\\x.dll", L"old\\", L"\x5B89.txt"}));
  EXPECT_EQ(list.unsafe, 0);
  EXPECT_EQ(WriteRemovalList({}), "");
  // A path that begins as a BOM does survive the way back.
  const std::wstring zeroWidth =
      L"\xFEFF"
      L"a.dll";
  EXPECT_EQ(ParseRemovalList(WriteRemovalList({zeroWidth})).paths, std::vector<std::wstring>{zeroWidth});
}

}  // namespace
