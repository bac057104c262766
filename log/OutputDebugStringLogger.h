#pragma once
// Writes each record to the debugger output channel.

#include "OstreamLogger.h"
#include "OutputDebugStream.h"

namespace cpplog {

class OutputDebugStringLogger : public OstreamLogger {
 public:
  OutputDebugStringLogger();

 private:
  outputdebug_stream<char> debugStream;
};

}  // namespace cpplog
