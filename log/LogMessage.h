#pragma once
// The message object of one log statement: makes a record, lets the statement write into it, and
// at its end completes the record with a line feed and hands it to a logger.

#include <cstdint>
#include <ostream>

#include "BaseLogger.h"
#include "LogData.h"
#include "LogLevel.h"

namespace cpplog {

class LogMessage {
 public:
  // Makes the record and stamps it with the current time; writes no header.
  LogMessage(const char* sourcePath, std::uint32_t line, LogLevel level, BaseLogger& logger);
  // Delivers the record, then deletes it unless the logger kept it.
  virtual ~LogMessage();
  // The default header: "INFO  - file.cpp(12): ".
  virtual void writeHeader();

  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  std::ostream& stream() { return record->stream; }

 protected:
  const LogData& data() const { return *record; }

 private:
  void flushRecord();

  BaseLogger& logger;
  bool flushed = false;
  bool releaseRecord = false;
  LogData* record;
};

}  // namespace cpplog
