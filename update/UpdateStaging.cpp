#include "UpdateStaging.h"

#include <windows.h>

#include <vector>

#include "FileReplace.h"
#include "LauncherFolder.h"
#include "PathGuard.h"

namespace {

constexpr int kUpdaterAttempts = 6;
constexpr DWORD kUpdaterRetryPauseMs = 1000;
constexpr DWORD kCopyChunk = 1 << 20;

// The updater may still be running from the last update: a locked file or a denied access is
// worth waiting for, a missing file or folder is not.
bool IsWorthRetrying(DWORD error) {
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
}

int DeleteOldUpdater(const std::wstring& path, bool& removed) {
  for (int attempt = 1;; ++attempt) {
    removed = DeleteFileW(path.c_str()) != FALSE;
    if (removed || !IsWorthRetrying(GetLastError()) || attempt == kUpdaterAttempts) return attempt;
    Sleep(kUpdaterRetryPauseMs);
  }
}

void ClearReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
}

// The downloader's data reaches the disk before the archive takes its new name: after a power cut
// a renamed file must not hold zeros.
bool Flush(const std::wstring& path) {
  portico::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && FlushFileBuffers(file.get());
}

// On one volume the download simply takes its new name: there is never a moment without one whole
// copy of it.
bool MoveUp(const std::wstring& download, const std::wstring& staged) {
  ClearReadOnly(download);
  return Flush(download) &&
         MoveFileExW(download.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Across volumes, or while another program holds the download, a copy is made under an orphan name,
// flushed, and only then renamed: a partial copy never passes for the archive. The download goes
// last.
bool CopyUp(const std::wstring& download, const std::wstring& launcherFolder, const std::wstring& staged) {
  portico::FileHandle from(CreateFileW(download.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!from) return false;
  std::wstring copy;
  portico::FileHandle to = CreateOrphanFile(launcherFolder, FILE_ATTRIBUTE_NORMAL, copy);
  if (!to) return false;
  std::vector<char> buffer(kCopyChunk);
  for (;;) {
    DWORD read = 0;
    DWORD written = 0;
    if (!ReadFile(from.get(), buffer.data(), kCopyChunk, &read, nullptr) ||
        (read > 0 && (!WriteFile(to.get(), buffer.data(), read, &written, nullptr) || written != read))) {
      DiscardOpenFile(to);
      return false;
    }
    if (read == 0) break;
  }
  if (!FlushFileBuffers(to.get())) {
    DiscardOpenFile(to);
    return false;
  }
  to.reset();
  if (!MoveFileExW(copy.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteAnyFile(copy);
    return false;
  }
  from.reset();
  DeleteAnyFile(download);
  return true;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The download is the only copy of the update: it goes only once the copy is whole.
bool StageFile(const std::wstring& download, const std::wstring& launcherFolder, const std::wstring& staged) {
  // A read-only file left from before would refuse to be replaced.
  ClearReadOnly(staged);
  return MoveUp(download, staged) || CopyUp(download, launcherFolder, staged);
}

// The signature goes up before its archive. Whatever interrupts the two, the installation never
// pairs the new archive with an old signature, which would have it refused and deleted:
// - the signature could not go: neither goes, and the installation keeps the pair it had;
// - the archive could not go: the archive it supersedes goes instead, and the next start brings up
//   the new one to join its signature.
// A signature left without an archive in temp or in the installation is of no use to anyone.
void StageSignedPair(const std::wstring& temp, const std::wstring& launcherFolder, StagingReport& report) {
  const std::wstring download = temp + L"update.zip";
  const std::wstring downloadSignature = download + L".minisig";
  const std::wstring staged = launcherFolder + L"update.zip";
  const std::wstring stagedSignature = staged + L".minisig";
  report.archiveFound = Exists(download);
  report.signatureFound = Exists(downloadSignature);
  if (!report.archiveFound) {
    if (report.signatureFound) report.leftoverSignatureRemoved = DeleteAnyFile(downloadSignature);
    if (!Exists(staged) && Exists(stagedSignature)) report.leftoverSignatureRemoved = DeleteAnyFile(stagedSignature);
    return;
  }
  if (report.signatureFound) {
    report.signatureCopied = StageFile(downloadSignature, launcherFolder, stagedSignature);
    if (!report.signatureCopied) return;
  }
  report.archiveCopied = StageFile(download, launcherFolder, staged);
  if (!report.archiveCopied && report.signatureCopied) DeleteAnyFile(staged);
}

}  // namespace

StagingReport StageUpdatePackage(bool signatureRequired) {
  std::wstring folder;
  return GetLauncherFolder(folder) ? StageUpdatePackageIn(folder, signatureRequired) : StagingReport();
}

StagingReport StageUpdatePackageIn(const std::wstring& launcherFolder, bool signatureRequired) {
  StagingReport report;
  const std::wstring temp = launcherFolder + L"temp\\";
  // Its deletions and its copy would act wherever the link leads.
  if (IsReparsePoint(launcherFolder + L"temp")) {
    report.tempRedirected = true;
    return report;
  }
  // What a killed pass left here goes before this one writes anything.
  report.orphansSwept = SweepOrphans(launcherFolder);
  report.updaterAttempts = DeleteOldUpdater(temp + L"Updater.exe", report.updaterRemoved);

  for (const wchar_t* name : {L"update.td0", L"update.td1", L"update.td2", L"update.td3", L"update.td"}) {
    if (DeleteFileW((temp + name).c_str())) ++report.leftoversRemoved;
  }

  if (signatureRequired) {
    StageSignedPair(temp, launcherFolder, report);
    return report;
  }
  const std::wstring download = temp + L"update.zip";
  if (!Exists(download)) return report;
  report.archiveFound = true;
  report.archiveCopied = StageFile(download, launcherFolder, launcherFolder + L"update.zip");
  return report;
}
