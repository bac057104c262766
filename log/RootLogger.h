#pragma once
// The process-wide root logger and the tag at the start of every line, both made during static
// initialisation.

#include <string>

#include "KvLogger.h"
#include "LogHeader.h"

// Delivers to the debugger output first, then to standard error.
extern cpplog::KvLogger rootLogger;
