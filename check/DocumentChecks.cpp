#include "DocumentChecks.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "AsciiText.h"
#include "DisplayText.h"
#include "Utf8ToUtf16.h"

using tinyxml2::XMLElement;

namespace {

constexpr size_t kWideRoom = 260;
constexpr char kArgs[] = "Args";

std::string Tag(const char* name) { return "<" + Shortened(name) + ">"; }

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The setting a misspelt element name most likely meant, or null: a name a few edits away, or one
// that holds the other (PipeName for Pipe).
const char* LikelyMeant(const char* name) {
  constexpr size_t kLongestCompared = 64;
  const std::string lower = AsciiLower(name);
  if (lower.size() > kLongestCompared) return nullptr;
  std::vector<const char*> candidates = {kArgs};
  for (const SettingField& setting : SettingFields()) candidates.push_back(setting.name);
  const char* best = nullptr;
  size_t bestDistance = 4;
  for (const char* candidate : candidates) {
    const std::string wanted = AsciiLower(candidate);
    size_t distance = EditDistance(lower, wanted);
    const bool holds =
        lower.size() >= 4 && (lower.find(wanted) != std::string::npos || wanted.find(lower) != std::string::npos);
    if (distance * 2 >= wanted.size() && !holds) continue;
    if (holds) distance = 1;
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

class StructureCheck {
 public:
  StructureCheck(WideConversion toWide, CheckReport& report) : toWide_(toWide), report_(report) {}

  void Root(const XMLElement& root) {
    for (const XMLElement* extra = root.NextSiblingElement(); extra; extra = extra->NextSiblingElement()) {
      Warn("root-second", *extra,
           "a second top-level element " + Tag(extra->Name()) + " is ignored: the launcher reads only the first, " +
               Tag(root.Name()));
    }
    bool anySetting = false;
    bool argsSeen = false;
    for (const XMLElement* child = root.FirstChildElement(); child; child = child->NextSiblingElement()) {
      const char* name = child->Name();
      if (std::strcmp(name, kArgs) == 0) {
        if (argsSeen) Warn("args-second", *child, "only the first <Args> counts: this one and its items are ignored");
        argsSeen = true;
      } else if (const SettingField* setting = SettingFor(name)) {
        anySetting = true;
        Setting(*child, *setting);
      } else {
        Unknown(*child);
      }
      Nested(*child, root);
    }
    if (!anySetting) {
      Warn("root-no-settings", root,
           "the root element " + Tag(root.Name()) +
               " holds none of the settings (ProgName, Protocol, Pipe, ...) as a child: the launcher starts nothing");
    }
  }

 private:
  void Warn(const char* code, const XMLElement& element, const std::string& message) {
    report_.findings.push_back({Severity::kWarning, code, element.GetLineNum(), message});
  }

  void Setting(const XMLElement& element, const SettingField& setting) {
    const std::string tag = Tag(element.Name());
    const char* text = ElementText(element);
    std::wstring value;
    if (text && !toWide_(text, value)) {
      const size_t units = Utf8ToUtf16Units(text).size();
      if (units >= kWideRoom) {
        Warn("setting-too-long", element,
             tag + " holds " + std::to_string(units) +
                 " UTF-16 units, more than 259: the launcher treats it as absent, never cut");
        return;
      }
    }
    if (value.empty()) {
      std::string why =
          tag + " gives no value (it is empty, holds only blanks, or begins with a comment or an element)";
      if (element.FirstAttribute()) why += "; the value is the element's text, not an attribute";
      Warn("setting-no-value", element, why);
      return;
    }
    auto earlier = report_.settingLine.find(setting.name);
    if (earlier != report_.settingLine.end()) {
      report_.findings.push_back({Severity::kWarning, "setting-repeated", earlier->second,
                                  "this " + Tag(setting.name) + " is replaced by the one at line " +
                                      std::to_string(element.GetLineNum()) +
                                      ": the launcher takes the last one with a value"});
    }
    report_.settingLine[setting.name] = element.GetLineNum();
    if (IsBlank(value.front()) || IsBlank(value.back())) {
      Warn("setting-blanks", element,
           tag + " begins or ends with blanks, which the launcher keeps as part of the value");
    }
  }

  void Unknown(const XMLElement& element) {
    const std::string tag = Tag(element.Name());
    if (AsciiLower(element.Name()) == AsciiLower(kArgs)) {
      Warn("args-case", element, tag + " is not <Args>: its letter case counts, and its items are ignored");
      return;
    }
    std::string message = tag + " is not a setting: the launcher ignores it";
    if (const char* meant = LikelyMeant(element.Name())) message += std::string(" (did you mean <") + meant + ">?)";
    Warn("element-unknown", element, message);
  }

  // Settings written deeper than the root's children, where the launcher never looks.
  void Nested(const XMLElement& parent, const XMLElement& root) {
    for (const XMLElement* child = parent.FirstChildElement(); child; child = child->NextSiblingElement()) {
      if (SettingFor(child->Name()) || std::strcmp(child->Name(), kArgs) == 0) {
        Warn("element-nested", *child,
             Tag(child->Name()) + " inside " + Tag(parent.Name()) +
                 " is ignored: the launcher reads settings only as children of the root element " + Tag(root.Name()));
      }
      Nested(*child, root);
    }
  }

  WideConversion toWide_;
  CheckReport& report_;
};

}  // namespace

void CheckStructure(const tinyxml2::XMLDocument& document, WideConversion toWide, CheckReport& report) {
  const XMLElement* root = document.RootElement();
  if (!root) {
    report.findings.push_back({Severity::kWarning, "no-root", 0,
                               "the file holds no element: the launcher reads no settings and starts nothing"});
    return;
  }
  StructureCheck(toWide, report).Root(*root);
}
