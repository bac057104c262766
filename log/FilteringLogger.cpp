#include "FilteringLogger.h"

#include "LogData.h"

namespace cpplog {

FilteringLogger::FilteringLogger(LogLevel threshold, BaseLogger* target, bool ownsTarget)
    : threshold(threshold), target(target), ownsTarget(ownsTarget) {}

FilteringLogger::~FilteringLogger() {
  if (ownsTarget) delete target;
}

bool FilteringLogger::deliverRecord(LogData* record) {
  if (record->level < threshold) return true;
  if (!target) return false;
  return target->deliverRecord(record);
}

}  // namespace cpplog
