#include "LogMessage.h"

#include <ctime>
#include <iomanip>

namespace cpplog {

LogMessage::LogMessage(const char* sourcePath, std::uint32_t line, LogLevel level, BaseLogger& logger)
    : logger(logger), record(new LogData(level)) {
  record->sourceFileName = SourceFileName(sourcePath);
  record->sourceLine = line;
  record->stamp(static_cast<std::int64_t>(std::time(nullptr)));
}

LogMessage::~LogMessage() {
  try {
    flushRecord();
  } catch (...) {
    // Logging never stops the statement that logs.
  }
  if (releaseRecord) delete record;
}

void LogMessage::writeHeader() {
  std::ostream& out = record->stream;
  out.fill(' ');
  out << std::setw(5) << std::left << std::dec << LevelName(record->level) << " - " << record->sourceFileName << "("
      << record->sourceLine << "): ";
}

void LogMessage::flushRecord() {
  if (flushed) return;
  record->endLine();
  releaseRecord = logger.deliverRecord(record);
  flushed = true;
}

}  // namespace cpplog
