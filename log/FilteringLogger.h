#pragma once
// Passes records at or above a threshold level on to another logger.

#include "BaseLogger.h"
#include "LogLevel.h"

namespace cpplog {

class FilteringLogger : public BaseLogger {
 public:
  FilteringLogger(LogLevel threshold, BaseLogger* target, bool ownsTarget);
  ~FilteringLogger() override;
  // A record below the threshold is dropped (true); without a target the record is kept (false).
  bool deliverRecord(LogData* record) override;

 private:
  LogLevel threshold;
  BaseLogger* target;
  bool ownsTarget;
};

// The root logger's sink kinds share this base.
class KvFilteringLogger : public FilteringLogger {
 public:
  using FilteringLogger::FilteringLogger;
};

}  // namespace cpplog
