#include "ConfigDocument.h"

#include <cstring>

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
  }
  return *a == *b;
}

void AppendEnabledArguments(const XMLElement& root, WideConversion toWide, std::vector<LaunchArgument>& arguments) {
  // Args, Item and the Value "true" are matched exactly, letter case included.
  const XMLElement* args = root.FirstChildElement("Args");
  if (!args) return;
  for (const XMLElement* item = args->FirstChildElement("Item"); item; item = item->NextSiblingElement("Item")) {
    const char* enabled = item->Attribute("Value");
    if (!enabled || std::strcmp(enabled, "true") != 0) continue;
    LaunchArgument argument;
    if (!toWide(item->Attribute("Name"), argument)) continue;
    arguments.push_back(std::move(argument));
  }
}

void ReplaceSettings(const XMLElement& root, WideConversion toWide, ProductConfig& config) {
  for (const XMLElement* element = root.FirstChildElement(); element; element = element->NextSiblingElement()) {
    std::wstring value;
    if (!toWide(ElementText(*element), value)) continue;
    if (const SettingField* setting = SettingFor(element->Name())) config.*setting->field = std::move(value);
  }
}

}  // namespace

const std::vector<SettingField>& SettingFields() {
  static const std::vector<SettingField> fields = {
      {"ProgName", &ProductConfig::ProgName},
      {"Protocol", &ProductConfig::Protocol},
      {"Pipe", &ProductConfig::Pipe},
      {"shortcut_cn", &ProductConfig::shortcut_cn},
      {"shortcut_en", &ProductConfig::shortcut_en},
      {"shortcut_new_cn", &ProductConfig::shortcut_new_cn},
      {"shortcut_new_en", &ProductConfig::shortcut_new_en},
      {"UpdatePublicKey", &ProductConfig::UpdatePublicKey},
      {"LogFile", &ProductConfig::LogFile},
      {"Language", &ProductConfig::Language},
      {"HandOffBox", &ProductConfig::HandOffBox, false},
  };
  return fields;
}

bool AnnounceRunningCopy(const ProductConfig& config) { return config.HandOffBox != L"false"; }

const SettingField* SettingFor(const char* elementName) {
  for (const SettingField& setting : SettingFields()) {
    if (SameNameIgnoringAsciiCase(elementName, setting.name)) return &setting;
  }
  return nullptr;
}

// Only a first child that is text (CDATA included) counts. XMLElement::GetText is not used: it
// steps over leading comments, and content that begins with a comment yields no value.
const char* ElementText(const XMLElement& element) {
  const XMLNode* first = element.FirstChild();
  return (first && first->ToText()) ? first->Value() : nullptr;
}

const char* FirstRootChildText(const XMLDocument& document, const char* name) {
  const XMLElement* root = document.RootElement();
  if (!root) return nullptr;
  const XMLElement* element = root->FirstChildElement(name);
  return element ? ElementText(*element) : nullptr;
}

bool FillSettings(const XMLDocument& document, WideConversion toWide, ProductConfig& config,
                  std::vector<LaunchArgument>& arguments) {
  const XMLElement* root = document.RootElement();
  if (!root) return false;
  AppendEnabledArguments(*root, toWide, arguments);
  ReplaceSettings(*root, toWide, config);
  return true;
}
