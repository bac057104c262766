#include "ItemChecks.h"

#include <cstring>
#include <string>

#include "DisplayText.h"
#include "LaunchText.h"
#include "Utf8ToUtf16.h"

using tinyxml2::XMLElement;

namespace {

constexpr size_t kWideRoom = 260;

void Add(std::vector<Finding>& findings, Severity severity, const char* code, const XMLElement& item,
         const std::string& message) {
  findings.push_back({severity, code, item.GetLineNum(), message});
}

// False, with a finding, for an Item the launcher leaves out.
bool Enabled(const XMLElement& item, std::vector<Finding>& findings) {
  const char* value = item.Attribute("Value");
  if (!value) {
    Add(findings, Severity::kWarning, "item-value", item, "<Item> without a Value attribute is left out");
    return false;
  }
  if (std::strcmp(value, "true") == 0) return true;
  if (std::strcmp(value, "false") == 0) {
    Add(findings, Severity::kNote, "item-disabled", item, "<Item> with Value=\"false\" is switched off");
  } else {
    Add(findings, Severity::kWarning, "item-value", item,
        "<Item> with Value=" + Quoted(Shortened(value)) +
            " is left out: only exactly \"true\", in small letters, switches an item on");
  }
  return false;
}

}  // namespace

void CheckItems(const XMLElement& root, WideConversion toWide, std::vector<Finding>& findings) {
  const XMLElement* args = root.FirstChildElement("Args");
  if (!args) return;
  std::wstring parameters;  // what the items append, as far as the file decides it
  for (const XMLElement* item = args->FirstChildElement(); item; item = item->NextSiblingElement()) {
    if (std::strcmp(item->Name(), "Item") != 0) {
      Add(findings, Severity::kWarning, "item-unknown", *item,
          "<" + Shortened(item->Name()) + "> inside <Args> is ignored: items are named exactly Item");
      continue;
    }
    if (!Enabled(*item, findings)) continue;
    const char* name = item->Attribute("Name");
    std::wstring argument;
    if (!toWide(name, argument)) {
      if (name && Utf8ToUtf16Units(name).size() >= kWideRoom) {
        Add(findings, Severity::kWarning, "item-too-long", *item,
            "<Item> with a Name longer than 259 UTF-16 units is left out");
      } else {
        Add(findings, Severity::kWarning, "item-no-name", *item,
            "<Item> without a Name, or with an empty one, is left out");
      }
      continue;
    }
    const std::wstring before = parameters;
    AppendLaunchArguments(parameters, {argument});
    if (parameters == before) {
      Add(findings, Severity::kWarning, "item-shadowed", *item,
          "<Item> " + Quoted(argument) +
              " is not appended: the launcher adds an argument only when its text occurs nowhere in the parameters "
              "yet, and the items before it hold it");
    } else if (argument.find_first_of(L" \t") != std::wstring::npos) {
      Add(findings, Severity::kNote, "item-blank", *item,
          "<Item> " + Quoted(argument) +
              " holds a blank and is appended unquoted: the target program sees more than one argument");
    }
  }
}
