#pragma once
// The report for a program, such as a CI step: one JSON object whose shape docs/ProductConfig.md
// fixes.

#include <string>

#include "CheckReport.h"

// UTF-8 JSON, two blanks an indent level, ending in a line feed.
std::string ReportJson(const CheckReport& report);
