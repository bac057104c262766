#include "CustomLogMessage.h"

#include "LogHeader.h"

namespace n_log {

CustomLogMessage::CustomLogMessage(const char* sourcePath, std::uint32_t line, cpplog::LogLevel level,
                                   cpplog::BaseLogger& logger)
    : LogMessage(sourcePath, line, level, logger) {
  CustomLogMessage::writeHeader();
}

void CustomLogMessage::writeHeader() { stream() << FormatRecordHeader(logTag, data().level, data().utcTime); }

}  // namespace n_log
