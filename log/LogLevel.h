#pragma once
// Severity of a log record and how a record's header names it.

#include <cstdint>

// <windows.h> defines ERROR (and some builds DEBUG) as macros; keep them out of the names below.
#pragma push_macro("ERROR")
#pragma push_macro("DEBUG")
#undef ERROR
#undef DEBUG

namespace cpplog {

// Any 32-bit value is a level; values above FATAL are shown as OTHER.
enum LogLevel : std::uint32_t { TRACE = 0, DEBUG = 1, INFO = 2, WARN = 3, ERROR = 4, FATAL = 5 };

// One letter, as in "[I]"; 'O' for a value without a name.
char LevelLetter(LogLevel level);
// The full name, as in "INFO"; "OTHER" for a value without a name.
const char* LevelName(LogLevel level);

}  // namespace cpplog

#pragma pop_macro("DEBUG")
#pragma pop_macro("ERROR")
