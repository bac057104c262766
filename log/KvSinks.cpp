#include "KvSinks.h"

#include "LogFileWriter.h"
#include "OutputDebugStringLogger.h"
#include "StdErrLogger.h"

namespace cpplog {

// The sinks live until the process ends, so their outputs are never released.
KvDbgLogger::KvDbgLogger() : KvFilteringLogger(TRACE, new OutputDebugStringLogger, false) {}

KvStdLogger::KvStdLogger() : KvFilteringLogger(TRACE, new StdErrLogger, false) {}

KvFileLogger::KvFileLogger(const std::wstring& path) : KvFilteringLogger(TRACE, new LogFileWriter(path, true), false) {}

}  // namespace cpplog
