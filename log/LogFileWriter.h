#pragma once
// The output of the file sink: appends each record to the log file, and keeps one older generation
// beside it.

#include <string>

#include "BaseLogger.h"
#include "WinHandles.h"

namespace cpplog {

class LogFileWriter : public BaseLogger {
 public:
  // Past this size the file becomes "<name>.1" before the next record is written.
  static constexpr unsigned long long kRotationSize = 1ull << 20;

  // With `maskQueries`, every link query value of a record is masked (QueryMask.h): for records that
  // may carry a link. The launcher's own file-only records carry none, and keep their paths whole.
  LogFileWriter(std::wstring path, bool maskQueries);
  // Always true: a file that cannot be opened or written loses the record and nothing else.
  bool deliverRecord(LogData* record) override;

 private:
  void RotateIfFull() const;

  std::wstring path_;
  std::wstring older_;
  std::wstring lockPath_;  // the lock file shared by every launcher that writes this file
  bool maskQueries_;
};

}  // namespace cpplog
