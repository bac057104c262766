#include "FileLog.h"

#include "KvSinks.h"
#include "LogFileLocation.h"
#include "LogFileWriter.h"
#include "RootLogger.h"

namespace {

struct DroppingLogger : cpplog::BaseLogger {
  bool deliverRecord(cpplog::LogData*) override { return true; }
};

// The file-only records: the steps' outcomes, which hold no link.
cpplog::LogFileWriter* fileOnly = nullptr;

}  // namespace

void OpenLogFile(const std::wstring& setting, const std::wstring& launcherFolder) {
  const std::wstring path = LogFilePathFor(setting, launcherFolder);
  if (path.empty() || rootLogger.fileSink()) return;
  // Both live until the process ends, as the other sinks do.
  rootLogger.UseFileSink(new cpplog::KvFileLogger(path));
  fileOnly = new cpplog::LogFileWriter(path, false);
}

cpplog::BaseLogger& FileOnlyLogger() {
  static DroppingLogger dropping;
  if (fileOnly) return *fileOnly;
  return dropping;
}
