#include "OstreamLogger.h"

#include "LogData.h"

namespace cpplog {

OstreamLogger::OstreamLogger(std::ostream* outStream) : outStream(outStream) {}

bool OstreamLogger::deliverRecord(LogData* record) {
  if (!record || !outStream) return true;
  record->terminate();
  // A stream that failed once (no standard-error handle, say) would otherwise drop every later line.
  outStream->clear();
  outStream->write(record->buffer, static_cast<std::streamsize>(record->length()));
  outStream->flush();
  return true;
}

}  // namespace cpplog
