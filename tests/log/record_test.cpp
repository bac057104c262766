// The record a log statement builds: its header, its line feed, its limit. No Windows calls here:
// these cases also run in the native sanitizer build.
#include <gtest/gtest.h>

#include <locale>
#include <sstream>

#include "LogHeader.h"
#include "OstreamLogger.h"
#include "Recorder.h"

namespace {

TEST(RecordHeader, WritesNumbersWithoutPaddingAndALetterPerLevel) {
  EXPECT_EQ(n_log::FormatRecordHeader("ZIR", cpplog::INFO, cpplog::UtcTime(1767225600)), "[ZIR][I][2026-1-1 0:0:0] ");
  EXPECT_EQ(n_log::FormatRecordHeader("ZIR", cpplog::INFO, cpplog::UtcTime(1772870709)), "[ZIR][I][2026-3-7 8:5:9] ");
  EXPECT_EQ(n_log::FormatRecordHeader("ZIR", cpplog::FATAL, cpplog::UtcTime(1798761599)),
            "[ZIR][F][2026-12-31 23:59:59] ");
  EXPECT_EQ(n_log::FormatRecordHeader("ZIR", static_cast<cpplog::LogLevel>(9), cpplog::UtcTime(0)),
            "[ZIR][O][1970-1-1 0:0:0] ");
  // The last year a calendar breakdown holds is written whole.
  std::tm last{};
  last.tm_year = 2147483647;
  last.tm_mon = 11;
  last.tm_mday = 31;
  EXPECT_EQ(n_log::FormatRecordHeader("ZIR", cpplog::INFO, last), "[ZIR][I][2147485547-12-31 0:0:0] ");
  // A global C++ locale with digit grouping does not reach the header.
  struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
  };
  std::locale::global(std::locale(std::locale::classic(), new Grouping));
  EXPECT_EQ(n_log::FormatRecordHeader("ZIR", cpplog::TRACE, cpplog::UtcTime(1767225600)), "[ZIR][T][2026-1-1 0:0:0] ");
  std::locale::global(std::locale::classic());
}

TEST(Record, EndsWithExactlyOneLineFeed) {
  // A record with no text is its header and the line feed.
  const std::string empty = LineOf("");
  ASSERT_GT(empty.size(), 12u);
  EXPECT_EQ(empty.substr(0, 9), "[ZIR][I][");
  EXPECT_EQ(empty.substr(empty.size() - 3), "] \n");
  const std::string header = empty.substr(0, empty.size() - 1);

  EXPECT_EQ(LineOf("a\nb\n").substr(header.size()), "a\nb\n");
  EXPECT_EQ(LineOf("a\nb").substr(header.size()), "a\nb\n");
}

TEST(Record, IsCutAt20000BytesWithTheLineFeedLast) {
  const std::string longLine = LineOf(std::string(25000, 'x'));
  ASSERT_EQ(longLine.size(), 20000u);
  EXPECT_EQ(longLine.back(), '\n');
  EXPECT_EQ(longLine[19998], 'x');

  // Text that fills the area and already ends in a line feed stays as it is.
  const size_t headerSize = LineOf("").size() - 1;
  const std::string full = std::string(20000 - headerSize - 1, 'y') + "\n";
  EXPECT_EQ(LineOf(full).substr(headerSize), full);
  // One character short of full: the line feed takes the last place.
  const std::string nearlyFull(20000 - headerSize - 1, 'z');
  EXPECT_EQ(LineOf(nearlyFull).substr(headerSize), nearlyFull + "\n");
}

TEST(Record, SourceFileNameSearchesSlashBeforeBackslash) {
  EXPECT_STREQ(cpplog::SourceFileName("C:/src/launch\\Portico.cpp"), "launch\\Portico.cpp");
  EXPECT_STREQ(cpplog::SourceFileName("C:\\src\\launch\\Portico.cpp"), "Portico.cpp");
  EXPECT_STREQ(cpplog::SourceFileName("Portico.cpp"), "Portico.cpp");
  EXPECT_STREQ(cpplog::SourceFileName("src/"), "");
}

TEST(Record, DefaultHeaderNamesLevelFileAndLine) {
  Recorder logger;
  {
    cpplog::LogMessage message("C:/src/a\\b.cpp", 12, static_cast<cpplog::LogLevel>(9), logger);
    message.writeHeader();
    message.stream() << 42;
  }
  {
    cpplog::LogMessage message("C:\\src\\c.cpp", 7, cpplog::INFO, logger);
    message.writeHeader();
    message.stream() << std::string("x");
  }
  ASSERT_EQ(logger.lines.size(), 2u);
  EXPECT_EQ(logger.lines[0], "OTHER - a\\b.cpp(12): 42\n");
  EXPECT_EQ(logger.lines[1], "INFO  - c.cpp(7): x\n");
  EXPECT_EQ(LineOf("", static_cast<cpplog::LogLevel>(9))[6], 'O');
}

TEST(OstreamLogger, WritesTheLineEvenAfterTheStreamFailed) {
  std::ostringstream out;
  out.setstate(std::ios_base::badbit);
  cpplog::OstreamLogger logger(&out);
  cpplog::LogData record(cpplog::INFO);
  record.stream << "abc";
  record.buffer[record.length()] = 'Z';
  EXPECT_TRUE(logger.deliverRecord(&record));
  EXPECT_EQ(out.str(), "abc");
  EXPECT_EQ(record.buffer[3], '\0');
}

}  // namespace
