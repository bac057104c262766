#include "KvSinks.h"

#include "OutputDebugStringLogger.h"
#include "StdErrLogger.h"

namespace cpplog {

// The sinks live until the process ends, so their outputs are never released.
KvDbgLogger::KvDbgLogger() : KvFilteringLogger(TRACE, new OutputDebugStringLogger, false) {}

KvStdLogger::KvStdLogger() : KvFilteringLogger(TRACE, new StdErrLogger, false) {}

}  // namespace cpplog
