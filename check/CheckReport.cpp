#include "CheckReport.h"

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      return "note";
  }
  return "";
}

int CountOf(const CheckReport& report, Severity severity) {
  int count = 0;
  for (const Finding& finding : report.findings) count += finding.severity == severity ? 1 : 0;
  return count;
}

int ExitCodeOf(const CheckReport& report) {
  if (!report.loaded) return 2;
  for (const Finding& finding : report.findings) {
    if (finding.severity != Severity::kNote) return 1;
  }
  return 0;
}
