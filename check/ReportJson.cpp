#include "ReportJson.h"

#include <cstdio>

#include "ConfigDocument.h"
#include "DisplayText.h"
#include "JsonText.h"
#include "MinisignKey.h"

namespace {

std::string String(const std::string& utf8) { return JsonString(utf8); }
std::string String(const std::wstring& units) { return String(Utf8(units)); }
std::string StringOrNull(const std::wstring& units) { return units.empty() ? "null" : String(units); }
std::string Bool(bool value) { return value ? "true" : "false"; }

std::string Array(const std::vector<LaunchArgument>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + String(items[i]);
  return out + "]";
}

std::string Settings(const ProductConfig& settings) {
  std::string out = "{\n";
  std::string separator;
  for (const SettingField& setting : SettingFields()) {
    const std::wstring& value = settings.*setting.field;
    if (!setting.listedWhenAbsent && value.empty()) continue;
    out += separator + "    " + String(setting.name) + ": " + StringOrNull(value);
    separator = ",\n";
  }
  return out + "\n  }";
}

std::string Shortcut(const ShortcutPlan& plan) {
  return "{\"current\": " + StringOrNull(plan.current) + ", \"renamed\": " + StringOrNull(plan.renamed) + "}";
}

std::string Launch(const CheckReport& report) {
  const LaunchPlan& plan = report.plan;
  const auto keyId = MinisignKeyId(report.settings.UpdatePublicKey);
  std::string out = "{\n";
  out += "    \"program\": " + StringOrNull(plan.program) + ",\n";
  out += "    \"programPresent\": " + Bool(plan.programPresent) + ",\n";
  out += "    \"scheme\": " + StringOrNull(plan.scheme) + ",\n";
  out += "    \"pipe\": " + StringOrNull(plan.pipe) + ",\n";
  out += "    \"language\": " + StringOrNull(plan.language) + ",\n";
  out += "    \"languageKey\": " + StringOrNull(plan.languageKey) + ",\n";
  out += "    \"shortcuts\": {\"zh-CN\": " + Shortcut(plan.chinese) + ", \"en-US\": " + Shortcut(plan.english) + "},\n";
  out += "    \"icon\": " + StringOrNull(plan.icon) + ",\n";
  out += "    \"iconPresent\": " + Bool(plan.iconPresent) + ",\n";
  out += "    \"arguments\": " + Array(plan.arguments) + ",\n";
  out += "    \"updateKeyId\": " + (keyId ? String(*keyId) : std::string("null"));
  // Only a launcher that carries a key adds the member, so that every other report keeps its bytes.
  if (!plan.compiledKeyId.empty()) out += ",\n    \"compiledKeyId\": " + String(plan.compiledKeyId);
  out += "\n";
  return out + "  }";
}

std::string Findings(const std::vector<Finding>& findings) {
  if (findings.empty()) return "[]";
  std::string out = "[\n";
  for (size_t i = 0; i < findings.size(); ++i) {
    const Finding& finding = findings[i];
    out += "    {\"severity\": " + String(SeverityName(finding.severity)) + ", \"code\": " + String(finding.code) +
           ", \"line\": " + (finding.line > 0 ? std::to_string(finding.line) : std::string("null")) +
           ", \"message\": " + String(finding.message) + "}";
    out += i + 1 < findings.size() ? ",\n" : "\n";
  }
  return out + "  ]";
}

}  // namespace

std::string ReportJson(const CheckReport& report) {
  std::string out = "{\n";
  out += "  \"file\": " + String(report.file) + ",\n";
  out += "  \"loaded\": " + Bool(report.loaded) + ",\n";
  out += "  \"settings\": " + (report.loaded ? Settings(report.settings) : "null") + ",\n";
  out += "  \"items\": " + (report.loaded ? Array(report.enabledItems) : "null") + ",\n";
  out += "  \"launch\": " + (report.loaded ? Launch(report) : "null") + ",\n";
  out += "  \"findings\": " + Findings(report.findings) + ",\n";
  out += "  \"errors\": " + std::to_string(CountOf(report, Severity::kError)) + ",\n";
  out += "  \"warnings\": " + std::to_string(CountOf(report, Severity::kWarning)) + ",\n";
  out += "  \"notes\": " + std::to_string(CountOf(report, Severity::kNote)) + ",\n";
  out += "  \"exitCode\": " + std::to_string(ExitCodeOf(report)) + "\n";
  return out + "}\n";
}
