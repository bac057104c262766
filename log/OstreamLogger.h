#pragma once
// Writes each record's bytes to an 8-bit output stream it does not own.

#include <ostream>

#include "BaseLogger.h"

namespace cpplog {

class OstreamLogger : public BaseLogger {
 public:
  explicit OstreamLogger(std::ostream* outStream);
  // One write of the whole line and one flush; true even when the stream failed.
  bool deliverRecord(LogData* record) override;

 protected:
  std::ostream* outStream;
};

}  // namespace cpplog
