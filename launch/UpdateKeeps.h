#pragma once
// The launcher's own files, which an update's removal list never removes.

#include <string>
#include <vector>

#include "LaunchSteps.h"

// The launcher, its configuration, and the log file that `logFileSetting` names with its rotated
// copy and its lock; full paths.
std::vector<std::wstring> FilesNoUpdateRemoves(const std::wstring& logFileSetting, const LauncherLocation& launcher);
