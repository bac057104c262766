#include "FileLog.h"

#include "KvSinks.h"
#include "LogFileLocation.h"
#include "RootLogger.h"

namespace {

struct DroppingLogger : cpplog::BaseLogger {
  bool deliverRecord(cpplog::LogData*) override { return true; }
};

}  // namespace

void OpenLogFile(const std::wstring& setting, const std::wstring& launcherFolder) {
  const std::wstring path = LogFilePathFor(setting, launcherFolder);
  if (path.empty() || rootLogger.fileSink()) return;
  // Lives until the process ends, as the other sinks do.
  rootLogger.UseFileSink(new cpplog::KvFileLogger(path));
}

cpplog::BaseLogger& FileOnlyLogger() {
  static DroppingLogger dropping;
  if (cpplog::KvFileLogger* file = rootLogger.fileSink()) return *file;
  return dropping;
}
