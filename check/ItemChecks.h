#pragma once
// The Items of the first Args element, each as the launcher takes or leaves it.

#include <tinyxml2.h>

#include <vector>

#include "CheckReport.h"
#include "ConfigDocument.h"

// Findings about the first <Args>'s children: items left out and why, items switched off, and
// arguments the launcher does not append because their text already occurs before them.
void CheckItems(const tinyxml2::XMLElement& root, WideConversion toWide, std::vector<Finding>& findings);
