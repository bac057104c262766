#pragma once
// The launcher's record header: "[ZIR][I][2026-3-7 8:5:9] ", the time in UTC without leading zeros.

#include <ctime>
#include <string>

#include "LogLevel.h"

// "ZIR". A constant array, so it exists before any static logger is built and after the last is gone.
extern const char logTag[];

namespace n_log {

std::string FormatRecordHeader(const std::string& tag, cpplog::LogLevel level, const std::tm& utc);

}  // namespace n_log
