// Building a log record at and around its 20000-character limit. Input: a level byte, eight bytes of
// time, two bytes that set how far a run of filler brings the record towards the limit, then the
// text, written in pieces of varying kinds. The delivered line is the header and text cut to the
// limit, ending in exactly the line feed the rules give.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BaseLogger.h"
#include "CustomLogMessage.h"
#include "FuzzCheck.h"
#include "LogData.h"
#include "LogHeader.h"
#include "LogMessage.h"

namespace {

struct LineKeeper : cpplog::BaseLogger {
  bool deliverRecord(cpplog::LogData* record) override {
    FUZZ_CHECK(record->length() <= cpplog::LogData::kTextCapacity);
    record->terminate();
    lines.emplace_back(record->buffer, record->length());
    return true;
  }
  std::vector<std::string> lines;
};

uint64_t Take(const uint8_t* data, size_t size, size_t& at, size_t count) {
  uint64_t value = 0;
  for (size_t k = 0; k < count; ++k, ++at) value |= static_cast<uint64_t>(at < size ? data[at] : 0) << (8 * k);
  return value;
}

std::string Expected(const std::string& written) {
  constexpr size_t kLimit = cpplog::LogData::kTextCapacity;
  if (written.size() >= kLimit) {
    return written[kLimit - 1] == '\n' ? written.substr(0, kLimit) : written.substr(0, kLimit - 1) + '\n';
  }
  if (!written.empty() && written.back() == '\n') return written;
  return written + '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  const auto level = static_cast<cpplog::LogLevel>(Take(data, size, at, 1));
  const auto seconds = static_cast<int64_t>(Take(data, size, at, 8));
  // Filler that ends between 100 characters short of the limit and 100 past it.
  const size_t filler = 19900 + Take(data, size, at, 2) % 200;
  const std::string text(reinterpret_cast<const char*>(data) + (at < size ? at : size), at < size ? size - at : 0);

  // The record as the launcher's message class builds it, header included.
  LineKeeper keeper;
  {
    n_log::CustomLogMessage message(__FILE__, __LINE__, level, keeper);
    message.stream() << std::string(filler, 'f');
    // In pieces: a string, a C string up to its first NUL, single characters, a number.
    const size_t third = text.size() / 3;
    message.stream() << text.substr(0, third);
    const std::string middle = text.substr(third, third);
    message.stream() << middle.c_str();
    for (char c : text.substr(2 * third)) message.stream() << c;
    message.stream() << seconds;
  }
  FUZZ_CHECK(keeper.lines.size() == 1);
  const std::string& line = keeper.lines[0];
  FUZZ_CHECK(!line.empty() && line.back() == '\n');
  FUZZ_CHECK(line.size() <= cpplog::LogData::kTextCapacity);
  FUZZ_CHECK(line.compare(0, 9, std::string("[ZIR][") + cpplog::LevelLetter(level) + "][") == 0);

  // The header at any time, and a record of exactly known content: the short text alone, and the
  // text behind a run of filler.
  const std::string header = n_log::FormatRecordHeader(logTag, level, cpplog::UtcTime(seconds));
  for (const size_t run : {size_t{0}, filler}) {
    auto record = std::make_unique<cpplog::LogData>(level);
    const std::string written = header + std::string(run, 'g') + text;
    record->stream << header << std::string(run, 'g');
    record->stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    record->endLine();
    FUZZ_CHECK(std::string(record->buffer, record->length()) == Expected(written));
  }
  return 0;
}
