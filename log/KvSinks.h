#pragma once
// The sink kinds of the root logger. The kind of a sink is the type its pointer is held as.

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

// A file sink has a place among the kinds, but none is ever made: the launcher writes no log file.
class KvFileLogger : public KvFilteringLogger {
 public:
  using KvFilteringLogger::KvFilteringLogger;
};

}  // namespace cpplog
