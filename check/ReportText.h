#pragma once
// The report for a person: the settings, what the launcher will do, the findings and a count.

#include <string>

#include "CheckReport.h"

// UTF-8 text, lines ending in a line feed.
std::string ReportText(const CheckReport& report);
