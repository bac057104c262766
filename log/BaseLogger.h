#pragma once
// What every logger does: take a finished record.

namespace cpplog {

struct LogData;

class BaseLogger {
 public:
  // True: the logger is done with the record and the caller may delete it. False: it kept it.
  virtual bool deliverRecord(LogData* record) = 0;
  virtual ~BaseLogger() = default;

  BaseLogger() = default;
  BaseLogger(const BaseLogger&) = delete;
  BaseLogger& operator=(const BaseLogger&) = delete;
};

}  // namespace cpplog
