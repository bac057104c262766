#pragma once
// The diagnostic log file: turned on by the LogFile setting, it receives every log record and the
// file-only records of each step's outcome.
//
//   PORTICO_FILE_LOG << "shortcut: " << result;
//
// Without a log file such a statement writes nothing anywhere.

#include <string>

#include "CustomLogMessage.h"
#include "LogLevel.h"

namespace cpplog {
class BaseLogger;
}

// Adds the file sink for the LogFile `setting` of a launcher in `launcherFolder` to rootLogger;
// nothing when the setting is empty or names no usable path.
void OpenLogFile(const std::wstring& setting, const std::wstring& launcherFolder);

// The log file once it is open, else a logger that drops every record. Records written here must
// hold no link: unlike those through rootLogger, their queries are not masked.
cpplog::BaseLogger& FileOnlyLogger();

// An INFO record for the log file alone; yields the record's stream.
#define PORTICO_FILE_LOG (n_log::CustomLogMessage(__FILE__, __LINE__, cpplog::INFO, FileOnlyLogger()).stream())
