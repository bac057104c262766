#pragma once
// What the rest of the launcher needs of logging: the root logger, the wide-to-log-text
// conversions and a one-line log statement.
//
//   WriteWide(PORTICO_LOG_INFO, L"class path: ") << NarrowText(name);
//
// The statement's message object ends with the statement, which completes the record with a line
// feed and delivers it to the debugger output and standard error.

#include "CustomLogMessage.h"
#include "LogLevel.h"
#include "NarrowText.h"
#include "RootLogger.h"

// An INFO record on rootLogger with the call site's file and line; yields the record's stream.
#define PORTICO_LOG_INFO (n_log::CustomLogMessage(__FILE__, __LINE__, cpplog::INFO, ::rootLogger).stream())
