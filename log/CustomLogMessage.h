#pragma once
// The message class of every launcher log statement: its records begin with the launcher's header.

#include <cstdint>

#include "LogMessage.h"

namespace n_log {

class CustomLogMessage : public cpplog::LogMessage {
 public:
  // Makes the record and writes the header into it.
  CustomLogMessage(const char* sourcePath, std::uint32_t line, cpplog::LogLevel level, cpplog::BaseLogger& logger);
  void writeHeader() override;
};

}  // namespace n_log
