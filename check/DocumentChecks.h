#pragma once
// The shape of the document as the launcher reads it: which elements give which setting, and
// which elements it passes over without a word.

#include <tinyxml2.h>

#include "CheckReport.h"
#include "ConfigDocument.h"

// Findings about the root element, its children and their values; notes in `report.settingLine`
// the line of the element each setting's value comes from.
void CheckStructure(const tinyxml2::XMLDocument& document, WideConversion toWide, CheckReport& report);
