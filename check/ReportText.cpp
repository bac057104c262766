#include "ReportText.h"

#include "ConfigDocument.h"
#include "DisplayText.h"
#include "MinisignKey.h"

namespace {

constexpr size_t kLabelWidth = 18;
constexpr size_t kSeverityWidth = 9;
constexpr size_t kWhereWidth = 10;

// `text` and blanks up to `width`, with at least one.
std::string Padded(const std::string& text, size_t width) {
  return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

void Line(std::string& out, const std::string& label, const std::string& value) {
  out += "  " + Padded(label, kLabelWidth) + value + "\n";
}

std::string ValueOrDash(const std::wstring& value) { return value.empty() ? "-" : Quoted(value); }

std::string List(const std::vector<LaunchArgument>& items) {
  std::string text;
  for (const LaunchArgument& item : items) text += (text.empty() ? "" : ", ") + Quoted(item);
  return text.empty() ? "-" : text;
}

std::string Present(bool present) { return present ? "" : " (missing)"; }

std::string Shortcut(const ShortcutPlan& plan) {
  if (plan.current.empty()) return "left alone";
  return Quoted(plan.current) + (plan.renamed.empty() ? ", kept under its name" : " renamed " + Quoted(plan.renamed));
}

void Settings(std::string& out, const CheckReport& report) {
  out += "\nSettings as read\n";
  for (const SettingField& setting : SettingFields()) {
    const std::wstring& value = report.settings.*setting.field;
    if (!setting.listedWhenAbsent && value.empty()) continue;
    std::string shown = ValueOrDash(value);
    if (setting.field == &ProductConfig::UpdatePublicKey && !value.empty()) {
      if (auto id = MinisignKeyId(value)) shown += " (minisign key id " + *id + ")";
    }
    Line(out, setting.name, shown);
  }
  Line(out, "Args", List(report.enabledItems));
}

// Where the launchers in the folder write the scheme's open command.
std::string Registration(const LaunchPlan& plan) {
  const std::string command = Utf8(plan.scheme) + "\\shell\\open\\command";
  const std::string machine = "HKEY_CLASSES_ROOT\\" + command;
  const std::string user = "HKEY_CURRENT_USER\\Software\\Classes\\" + command;
  std::string text = Utf8(plan.scheme) + ":// links, registered as ";
  if (!plan.perUserLauncher) return text + machine;
  if (!plan.machineWideLauncher) return text + user + " (for the user who starts PorticoUser.exe)";
  return text + machine + " by Portico.exe, " + user + " by PorticoUser.exe";
}

void Plan(std::string& out, const LaunchPlan& plan) {
  out += "\nWhat the launcher will do\n";
  const std::string present = Present(plan.programPresent);
  Line(out, "start",
       plan.program.empty() ? "nothing"
       : plan.programByContentOnly
           ? "nothing, unless " + Quoted(plan.program) + " in the launcher's folder is a program" + present
           : Quoted(plan.program) + " from the launcher's folder" + present);
  Line(out, "scheme", plan.scheme.empty() ? "none registered" : Registration(plan));
  Line(out, "hand-off",
       plan.pipe.empty() ? "none"
                         : "links for a running copy go to " + Utf8(plan.pipe) +
                               (plan.announceRunningCopy ? "" : ", without the \"already running\" box"));
  Line(out, "language",
       plan.language.empty() && plan.languageKey.empty() ? "Chinese: no registry key is read"
       : plan.language.empty() ? "at each start, by the default value of " + Utf8(plan.languageKey) +
                                     ": English when it holds en-US and not zh-CN, else Chinese"
                               : std::string(plan.language == L"en-US" ? "English" : "Chinese") +
                                     ", by the Language setting; the registry is not read");
  Line(out, "shortcut zh-CN", Shortcut(plan.chinese));
  Line(out, "shortcut en-US", Shortcut(plan.english));
  if (!plan.icon.empty()) Line(out, "shortcut icon", Quoted(plan.icon) + Present(plan.iconPresent));
  Line(out, "extra arguments", List(plan.arguments));
  if (!plan.logFile.empty()) Line(out, "log file", Quoted(plan.logFile));
  if (!plan.compiledKeyId.empty()) {
    Line(out, "update key", "minisign key id " + plan.compiledKeyId + ", compiled into " +
                                Utf8(plan.compiledKeyLauncher) + ": UpdatePublicKey is not read");
  }
}

std::string Count(int count, const char* what) { return std::to_string(count) + " " + what + (count == 1 ? "" : "s"); }

}  // namespace

std::string ReportText(const CheckReport& report) {
  std::string out = "File  " + report.file + "\n";
  if (report.loaded) {
    Settings(out, report);
    Plan(out, report.plan);
  }
  out += "\nFindings\n";
  for (const Finding& finding : report.findings) {
    const std::string where = finding.line > 0 ? "line " + std::to_string(finding.line) : "";
    out += "  " + Padded(SeverityName(finding.severity), kSeverityWidth) + Padded(where, kWhereWidth) + finding.code +
           ": " + finding.message + "\n";
  }
  if (report.findings.empty()) out += "  none\n";
  out += "\n" + Count(CountOf(report, Severity::kError), "error") + ", " +
         Count(CountOf(report, Severity::kWarning), "warning") + ", " +
         Count(CountOf(report, Severity::kNote), "note") + ": exit code " + std::to_string(ExitCodeOf(report)) + "\n";
  return out;
}
