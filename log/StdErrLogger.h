#pragma once
// The standard-error output of the log.

#include "OstreamLogger.h"

namespace cpplog {

class StdErrLogger : public OstreamLogger {
 public:
  // Also puts standard error into binary mode, so that a line arrives with its bare line feed.
  StdErrLogger();
};

}  // namespace cpplog
