#include "UpdateStaging.h"

#include <windows.h>

#include "LauncherFolder.h"
#include "PathGuard.h"

namespace {

constexpr int kUpdaterAttempts = 6;
constexpr DWORD kUpdaterRetryPauseMs = 1000;

// The updater may still be running from the last update: a locked file or a denied access is
// worth waiting for, a missing file or folder is not.
bool IsWorthRetrying(DWORD error) {
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
}

int DeleteOldUpdater(const std::wstring& path) {
  for (int attempt = 1;; ++attempt) {
    if (DeleteFileW(path.c_str()) || !IsWorthRetrying(GetLastError()) || attempt == kUpdaterAttempts) {
      return attempt;
    }
    Sleep(kUpdaterRetryPauseMs);
  }
}

}  // namespace

void StageUpdatePackage() {
  std::wstring folder;
  if (GetLauncherFolder(folder)) StageUpdatePackageIn(folder);
}

StagingReport StageUpdatePackageIn(const std::wstring& launcherFolder) {
  StagingReport report;
  const std::wstring temp = launcherFolder + L"temp\\";
  // Its deletions and its copy would act wherever the link leads.
  if (IsReparsePoint(launcherFolder + L"temp")) {
    report.tempRedirected = true;
    return report;
  }
  report.updaterAttempts = DeleteOldUpdater(temp + L"Updater.exe");

  for (const wchar_t* name : {L"update.td0", L"update.td1", L"update.td2", L"update.td3", L"update.td"}) {
    DeleteFileW((temp + name).c_str());
  }

  const std::wstring download = temp + L"update.zip";
  if (GetFileAttributesW(download.c_str()) == INVALID_FILE_ATTRIBUTES) return report;
  report.archiveFound = true;
  // The download is the only copy of the update: it goes only once the copy is made.
  if (CopyFileW(download.c_str(), (launcherFolder + L"update.zip").c_str(), FALSE)) {
    report.archiveCopied = true;
    DeleteFileW(download.c_str());
  }
  return report;
}
