#include "UpdateKeeps.h"

#include "ConfigFile.h"
#include "LogFileLocation.h"
#include "LogFilePath.h"

std::vector<std::wstring> FilesNoUpdateRemoves(const std::wstring& logFileSetting, const LauncherLocation& launcher) {
  std::vector<std::wstring> files = {launcher.path};
  if (const std::optional<std::wstring> config = FindConfigFile(launcher.path)) files.push_back(*config);
  const std::wstring log = LogFilePathFor(logFileSetting, launcher.folder);
  if (!log.empty()) files.insert(files.end(), {log, log + L".1", LogFileLockPath(log)});
  return files;
}
