#pragma once
// The sink kinds of the root logger. The kind of a sink is the type its pointer is held as.

#include <string>

#include "FilteringLogger.h"

namespace cpplog {

// Everything from TRACE up to the debugger output.
class KvDbgLogger : public KvFilteringLogger {
 public:
  KvDbgLogger();
  using KvFilteringLogger::KvFilteringLogger;
};

// Everything from TRACE up to standard error.
class KvStdLogger : public KvFilteringLogger {
 public:
  KvStdLogger();
  using KvFilteringLogger::KvFilteringLogger;
};

// Everything from TRACE up to a log file, link queries masked. Made only when ProductConfig.xml
// names one.
class KvFileLogger : public KvFilteringLogger {
 public:
  explicit KvFileLogger(const std::wstring& path);
  using KvFilteringLogger::KvFilteringLogger;
};

}  // namespace cpplog
