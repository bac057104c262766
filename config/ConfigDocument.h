#pragma once
// Reading the launch settings out of a parsed ProductConfig.xml. No platform calls: the text
// conversion is handed in, so that this also builds natively for fuzzing.

#include <tinyxml2.h>

#include <string>
#include <vector>

#include "ConfigStore.h"

// UTF-8 text to the record's wide form; false when there is no usable (non-empty) result, and
// for null (an absent value).
using WideConversion = bool (*)(const char* utf8, std::wstring& out);

// A setting the launcher reads from a child element of the root of the same name, ASCII case ignored.
struct SettingField {
  const char* name;  // as the record spells it
  std::wstring ProductConfig::*field;
  bool listedWhenAbsent = true;  // false: reports name it only when the file gives it
};
// Every setting, in the record's order.
const std::vector<SettingField>& SettingFields();
// The setting an element of this name fills; null for none.
const SettingField* SettingFor(const char* elementName);

// Whether a running copy brought up is announced with the "already running" box: always, unless
// HandOffBox is exactly "false".
bool AnnounceRunningCopy(const ProductConfig& config);

// The value an element gives: its first child node when that is text (CDATA included), else null.
const char* ElementText(const tinyxml2::XMLElement& element);

// Text of the first child element of the root named exactly `name`; null when there is no such
// element or it yields no text.
const char* FirstRootChildText(const tinyxml2::XMLDocument& document, const char* name);

// Replaces each setting found with a value (the last one wins) and appends the switched-on extra
// arguments in file order. False, touching nothing, when the document has no root element.
bool FillSettings(const tinyxml2::XMLDocument& document, WideConversion toWide, ProductConfig& config,
                  std::vector<LaunchArgument>& arguments);
