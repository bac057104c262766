#include "LogFileCheck.h"

#include "LogFilePath.h"

void CheckLogFile(const std::filesystem::path& launcherFolder, VariableExpansion expand, CheckReport& report) {
  const std::wstring& setting = report.settings.LogFile;
  if (setting.empty()) return;
  std::optional<std::wstring> path;
  if (expand) {
    std::error_code error;
    const std::optional<std::wstring> expanded = expand(setting);
    if (expanded) path = LogFilePathFrom(*expanded, std::filesystem::absolute(launcherFolder, error).wstring());
    if (path && *expanded != setting) report.plan.logFile = *path;
  } else {
    // The launcher's folder on Windows is unknown here; none is shorter than a drive's root.
    path = LogFilePathFrom(setting, L"C:\\");
  }
  if (path) return;
  const auto line = report.settingLine.find("LogFile");
  report.findings.push_back({Severity::kWarning, "log-file-too-long",
                             line == report.settingLine.end() ? 0 : line->second,
                             "LogFile is longer than " + std::to_string(kLogFilePathLimit) +
                                 " characters once its variables are expanded and it is taken from the launcher's "
                                 "folder: the launcher writes no log file"});
}
