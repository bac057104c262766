// The pure side of the update: entry names, attributes and times, over plain bytes and text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DosDateTime.h"
#include "EntryAttributes.h"
#include "EntryName.h"
#include "ExtendedTimestamp.h"
#include "OrphanName.h"
#include "UnsafeEntryName.h"
#include "UpdateSpace.h"

namespace {

std::wstring Decode(const std::string& bytes) { return DecodeEntryName(bytes.data(), bytes.size()); }

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string Block(uint16_t tag, uint16_t size, const std::string& data) {
  std::string block = {static_cast<char>(tag & 0xFF), static_cast<char>(tag >> 8), static_cast<char>(size & 0xFF),
                       static_cast<char>(size >> 8)};
  return block + data;
}

std::string Le32(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

ExtendedTimestamp Parse(const std::string& field) {
  const std::vector<uint8_t> bytes = Bytes(field);
  return ParseExtendedTimestamp(bytes.data(), bytes.size());
}

TEST(EntryNames, DecodeAsUtf8WithinTheNameRoom) {
  EXPECT_EQ(Decode("bin/tool.dll"), L"bin/tool.dll");
  EXPECT_EQ(Decode("\xE5\xAE\x89\xE8\xA3\x85/\xE6\x96\x87.txt"), L"\x5B89\x88C5/\x6587.txt");
  EXPECT_EQ(Decode("\xF0\x9F\x98\x80"), std::wstring({wchar_t(0xD83D), wchar_t(0xDE00)}));
  // Malformed input never swallows the characters after it.
  EXPECT_EQ(Decode("a\xFF"
                   "b"),
            L"a\xFFFD"
            L"b");
  EXPECT_EQ(Decode("\xC0\xAF"
                   "x"),
            L"\xFFFD\xFFFD"
            L"x");                                           // overlong "/"
  EXPECT_EQ(Decode("\xED\xA0\x80"), L"\xFFFD\xFFFD\xFFFD");  // a surrogate
  EXPECT_EQ(Decode("x\xE4\xB8"), L"x\xFFFD\xFFFD");          // cut short
  EXPECT_EQ(Decode(std::string(259, 'n')), std::wstring(259, L'n'));
  EXPECT_EQ(Decode(std::string(260, 'n')), L"");
}

TEST(EntryNames, CleaningDropsDrivesRootsAndParentSteps) {
  EXPECT_EQ(CleanEntryName(L"C:\\Windows\\x.dll"), L"Windows\\x.dll");
  EXPECT_EQ(CleanEntryName(L"/etc/x"), L"etc/x");
  EXPECT_EQ(CleanEntryName(L"a\\..\\b.txt"), L"b.txt");
  EXPECT_EQ(CleanEntryName(L"x/y/../z.txt"), L"z.txt");
  EXPECT_EQ(CleanEntryName(L"\\\\server\\share\\f"), L"server\\share\\f");
  EXPECT_EQ(CleanEntryName(L"C:C:/x"), L"x");
  EXPECT_EQ(CleanEntryName(L"a/..\\b"), L"b");
  EXPECT_EQ(CleanEntryName(L"a\\../b"), L"b");
  // The first pattern of the list wins, wherever the others lie.
  EXPECT_EQ(CleanEntryName(L"p/../q\\..\\r"), L"r");
  EXPECT_EQ(CleanEntryName(L"/x/../../y"), L"../y");
  // Left climbing out: the unsafe-name check has the last word.
  EXPECT_EQ(CleanEntryName(L"x/y/../../z"), L"../z");
  EXPECT_EQ(CleanEntryName(L"bin/sub/"), L"bin/sub/");
  EXPECT_EQ(CleanEntryName(L"C:"), L"");
}

TEST(EntryNames, UnsafeNamesAreRecognised) {
  for (const wchar_t* name : {L"",
                              L"../z",
                              L"a/..",
                              L"a\\..\\b",
                              L"..\\x",
                              L". .",
                              L"...",
                              L"x:y",
                              L"keep.txt:evil",
                              L"CON",
                              L"con.txt",
                              L"a/Nul/b",
                              L"NUL .log",
                              L"com1...",
                              L"LPT9",
                              L"aux.tar.gz",
                              L"COM\x00B9",
                              L"lpt\x00B2.txt",
                              L"Com\x00B3",
                              L"prn ",
                              L"a*b",
                              L"a?b",
                              L"<x>",
                              L"a|b",
                              L"q\"",
                              L"a\x01"
                              L"b"}) {
    EXPECT_TRUE(IsUnsafeEntryName(name)) << testing::PrintToString(std::wstring(name));
  }
  for (const wchar_t* name : {L"bin/tool.dll", L"a..b", L"..foo", L"file.", L"CONSOLE.txt", L"COM10", L"LPT0", L"com",
                              L"aux_data/x", L"COM1x", L"bin/sub/", L".hidden", L"\x5B89\x88C5/x"}) {
    EXPECT_FALSE(IsUnsafeEntryName(name)) << testing::PrintToString(std::wstring(name));
  }
}

TEST(EntryAttributes, DosHostsKeepTheirLowBits) {
  EXPECT_EQ(DecodeEntryAttributes(0x0014, 0x21), 0x21u);
  EXPECT_EQ(DecodeEntryAttributes(0x0B14, 0x16), 0x16u);
  EXPECT_EQ(DecodeEntryAttributes(0x0714, 0x03), 0x03u);
  EXPECT_EQ(DecodeEntryAttributes(0x0E14, 0x10), 0x10u);
  // A mode in the high half and bits outside the five are ignored on these hosts.
  EXPECT_EQ(DecodeEntryAttributes(0x0014, 0x81A40180), 0u);
}

TEST(EntryAttributes, OtherHostsReadTheUnixMode) {
  EXPECT_EQ(DecodeEntryAttributes(0x0314, 0x81A40000), 0x20u);  // 0100644
  EXPECT_EQ(DecodeEntryAttributes(0x0314, 0x81240000), 0x21u);  // 0100444
  EXPECT_EQ(DecodeEntryAttributes(0x0314, 0x41ED0010), 0x30u);  // 040755
  EXPECT_EQ(DecodeEntryAttributes(0x1314, 0x416D0000), 0x31u);  // 040555, host 19
  EXPECT_EQ(DecodeEntryAttributes(0x0314, 0x81A40007), 0x20u);  // DOS bits mean nothing here
}

TEST(DosStamps, DecodeCalendarDatesOnly) {
  const auto stamp = DecodeDosDateTime(((2021 - 1980) << 9) | (6 << 5) | 15, (10 << 11) | (30 << 5) | 10);
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->year, 2021);
  EXPECT_EQ(stamp->month, 6);
  EXPECT_EQ(stamp->day, 15);
  EXPECT_EQ(stamp->hour, 10);
  EXPECT_EQ(stamp->minute, 30);
  EXPECT_EQ(stamp->second, 20);
  EXPECT_TRUE(DecodeDosDateTime((0 << 9) | (1 << 5) | 1, 0));
  EXPECT_TRUE(DecodeDosDateTime((40 << 9) | (2 << 5) | 29, 0));  // 2020 is a leap year
  EXPECT_TRUE(DecodeDosDateTime((127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29));
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (0 << 5) | 15, 0));  // month 0
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (6 << 5) | 0, 0));   // day 0
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (13 << 5) | 1, 0));
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (2 << 5) | 29, 0));  // 2021 is not
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (4 << 5) | 31, 0));
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (6 << 5) | 1, 24 << 11));
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (6 << 5) | 1, 60 << 5));
  EXPECT_FALSE(DecodeDosDateTime((41 << 9) | (6 << 5) | 1, 30));  // second 60
}

TEST(ExtendedTimestamps, EachFlagCombinationReadsItsTimesInOrder) {
  for (int flags = 0; flags < 8; ++flags) {
    std::string data(1, static_cast<char>(flags));
    int32_t next = 1000;
    std::vector<int32_t> expected(3, -1);
    for (int bit = 0; bit < 3; ++bit) {
      if (!(flags & (1 << bit))) continue;
      expected[bit] = next;
      data += Le32(next);
      next += 1000;
    }
    const ExtendedTimestamp times = Parse(Block(0x5455, static_cast<uint16_t>(data.size()), data));
    EXPECT_EQ(times.write.value_or(-1), expected[0]) << flags;
    EXPECT_EQ(times.access.value_or(-1), expected[1]) << flags;
    EXPECT_EQ(times.creation.value_or(-1), expected[2]) << flags;
  }
}

TEST(ExtendedTimestamps, TimesOutsideTheBlockOrTheFieldAreNotRead) {
  // Flags promise three times, the block holds one (as in a central directory).
  ExtendedTimestamp times = Parse(Block(0x5455, 5, "\x07" + Le32(7)) + Block(0x7875, 4, Le32(99)));
  EXPECT_EQ(times.write, 7);
  EXPECT_FALSE(times.access);
  EXPECT_FALSE(times.creation);
  // The block claims more than the field holds.
  times = Parse(Block(0x5455, 13, "\x07" + Le32(7) + Le32(8).substr(0, 3)));
  EXPECT_EQ(times.write, 7);
  EXPECT_FALSE(times.access);
  // A time cut by the end of the field, an empty block, and a field of a header alone.
  EXPECT_FALSE(Parse(Block(0x5455, 5, "\x01" + Le32(7).substr(0, 3))).write);
  EXPECT_FALSE(Parse(Block(0x5455, 0, "") + Block(0x5455, 5, "\x01" + Le32(7))).write);
  EXPECT_FALSE(Parse(Block(0x5455, 0, "")).write);
  EXPECT_FALSE(ParseExtendedTimestamp(nullptr, 0).write);
}

TEST(ExtendedTimestamps, WalkFindsTheFirstTimestampBlock) {
  const std::string ntfs = Block(0x000A, 8, std::string(8, '\x11'));
  ExtendedTimestamp times = Parse(ntfs + Block(0x5455, 5, "\x01" + Le32(-1)) + Block(0x5455, 5, "\x01" + Le32(5)));
  EXPECT_EQ(times.write, -1);
  // A block whose size runs past the field ends the walk.
  EXPECT_FALSE(Parse(Block(0x000A, 200, "") + Block(0x5455, 5, "\x01" + Le32(5))).write);
  EXPECT_EQ(Parse(Block(0x5455, 5, "\x01" + Le32(INT32_MAX))).write, INT32_MAX);
}

TEST(ExtendedTimestamps, UnixTimesBecomeFileTimeCounts) {
  EXPECT_EQ(UnixTimeToFileTime(0), 116444736000000000ull);
  EXPECT_EQ(UnixTimeToFileTime(1), 116444736010000000ull);
  EXPECT_EQ(UnixTimeToFileTime(INT32_MIN), 116444736000000000ull - 21474836480000000ull);
  EXPECT_EQ(UnixTimeToFileTime(-11644473600), 0u);
  EXPECT_EQ(UnixTimeToFileTime(INT64_MIN), 0u);
}

TEST(OrphanNames, AreNamesNoEntryCanTake) {
  EXPECT_EQ(OrphanName(0x1a2b, 7), L"~pt~1a2b-7.tmp");
  EXPECT_EQ(OrphanName(0, 0xffffffff), L"~pt~0-ffffffff.tmp");
  for (const wchar_t* name : {L"~pt~1-2.tmp", L"~PT~x", L"~pT~", L"~Pt~anything at all"}) {
    EXPECT_TRUE(IsOrphanName(name)) << name;
    EXPECT_TRUE(IsUnsafeEntryName(name)) << name;
    EXPECT_TRUE(IsUnsafeEntryName(std::wstring(L"data/") + name)) << name;
    EXPECT_TRUE(IsUnsafeEntryName(std::wstring(name) + L"\\inside.txt")) << name;
  }
  for (const wchar_t* name : {L"~pt", L"~pt-1.tmp", L"a~pt~.tmp", L" ~pt~x", L"~p~t~"}) {
    EXPECT_FALSE(IsOrphanName(name)) << name;
    EXPECT_FALSE(IsUnsafeEntryName(name)) << name;
  }
}

TEST(OrphanNames, TheUpdateStampIsNoOrphanAndNoEntry) {
  for (const wchar_t* name : {L"~pt-update.stamp", L"~PT-UPDATE.STAMP"}) {
    EXPECT_FALSE(IsOrphanName(name)) << name;
    EXPECT_TRUE(IsUnsafeEntryName(name)) << name;
    EXPECT_TRUE(IsUnsafeEntryName(std::wstring(L"data/") + name)) << name;
  }
  EXPECT_FALSE(IsUnsafeEntryName(L"~pt-update.stamp.txt"));
}

TEST(UpdateSpace, GrowthAndTheLargestFileInWholeClusters) {
  struct Case {
    std::vector<PlannedFile> files;
    uint64_t cluster;
    uint64_t needed;
  } cases[] = {
      {{}, 4096, 0},
      {{{1, std::nullopt}}, 4096, 8192},                  // one new cluster, held twice for a moment
      {{{4096, 4096}}, 4096, 4096},                       // a replacement of the same size grows nothing
      {{{100, 9000}, {5000, std::nullopt}}, 4096, 16384},  // what one file frees is not counted for another
      {{{0, std::nullopt}}, 4096, 0},                     // an empty file takes no cluster
      {{{10, 3}}, 1, 17},
      {{{UINT64_MAX, std::nullopt}, {2, std::nullopt}}, 4096, UINT64_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(SpaceNeeded(c.files, c.cluster), c.needed) << c.needed;
}

}  // namespace
