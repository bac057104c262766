#pragma once
// The output of the file sink: appends each record to the log file, link queries masked, and keeps
// one older generation beside it.

#include <string>

#include "BaseLogger.h"
#include "WinHandles.h"

namespace cpplog {

class LogFileWriter : public BaseLogger {
 public:
  // Past this size the file becomes "<name>.1" before the next record is written.
  static constexpr unsigned long long kRotationSize = 1ull << 20;

  explicit LogFileWriter(std::wstring path);
  // Always true: a file that cannot be opened or written loses the record and nothing else.
  bool deliverRecord(LogData* record) override;

 private:
  void RotateIfFull() const;

  std::wstring path_;
  std::wstring older_;
  portico::KernelHandle lock_;  // a named mutex shared by every launcher that writes this file
};

}  // namespace cpplog
