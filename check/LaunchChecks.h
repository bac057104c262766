#pragma once
// What a start does with the settings read, and what in them the launcher would refuse or ignore.

#include <tinyxml2.h>

#include <string>
#include <vector>

#include "CheckReport.h"

// Fills `report.plan` from the settings and the first ProgName the language lookup reads, and adds
// the findings. `folderNames` are the UTF-8 names of the files in the launcher's folder.
void PlanLaunch(const tinyxml2::XMLDocument& document, const std::vector<std::string>& folderNames,
                CheckReport& report);
