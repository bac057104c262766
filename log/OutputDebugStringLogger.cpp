#include "OutputDebugStringLogger.h"

namespace cpplog {

// Only the address of debugStream is taken here; it is made right after the base.
OutputDebugStringLogger::OutputDebugStringLogger() : OstreamLogger(&debugStream) {}

}  // namespace cpplog
