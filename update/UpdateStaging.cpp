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

// A file directly in temp, opened by name and kept only when it is a plain file with one name that
// lies in temp as the installation's folder leads to it. Whoever may write temp can make it a link
// while the launcher waits, and whatever is then done by name lands where the link leads; done
// through this handle, it lands in temp or nowhere.
portico::FileHandle OpenInTemp(const std::wstring& path, DWORD access, DWORD share, const std::wstring& tempFinal) {
  portico::FileHandle file(
      CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (file && (!GetFileInformationByHandle(file.get(), &info) ||
               (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
               info.nNumberOfLinks != 1 || !LiesBelow(FinalPathOf(file.get()), tempFinal))) {
    file.reset();
    SetLastError(ERROR_INVALID_NAME);
  }
  return file;
}

bool ClearReadOnly(HANDLE file) {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic))) return false;
  if (!(basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) return true;
  // Zero times are left as they are.
  const DWORD writable = basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  FILE_BASIC_INFO change{};
  change.FileAttributes = writable ? writable : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file, FileBasicInfo, &change, sizeof(change)) != FALSE;
}

// Deletes a file of temp, read-only or not; on failure the last error tells why.
bool DeleteInTemp(const std::wstring& path, const std::wstring& tempFinal) {
  portico::FileHandle file = OpenInTemp(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, tempFinal);
  return file && DiscardOpenFile(file);
}

int DeleteOldUpdater(const std::wstring& path, const std::wstring& tempFinal, bool& removed) {
  for (int attempt = 1;; ++attempt) {
    removed = DeleteInTemp(path, tempFinal);
    if (removed || !IsWorthRetrying(GetLastError()) || attempt == kUpdaterAttempts) return attempt;
    Sleep(kUpdaterRetryPauseMs);
  }
}

// On one volume the download simply takes its new name: there is never a moment without one whole
// copy of it. Its data reaches the disk first: after a power cut a renamed file must not hold zeros.
bool MoveUp(const std::wstring& download, const std::wstring& staged, const std::wstring& tempFinal) {
  {
    portico::FileHandle attributes = OpenInTemp(download, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, tempFinal);
    if (!attributes || !ClearReadOnly(attributes.get())) return false;
  }
  portico::FileHandle file =
      OpenInTemp(download, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, tempFinal);
  return file && FlushFileBuffers(file.get()) && RenameOpenFile(file.get(), staged, true);
}

// Across volumes, or while another program holds the download, a copy is made under an orphan name,
// flushed, and only then renamed: a partial copy never passes for the archive. The download goes
// last.
bool CopyUp(const std::wstring& download, const std::wstring& launcherFolder, const std::wstring& staged,
            const std::wstring& tempFinal) {
  portico::FileHandle from = OpenInTemp(download, GENERIC_READ, FILE_SHARE_READ, tempFinal);
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
  DeleteInTemp(download, tempFinal);
  return true;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The download is the only copy of the update: it goes only once the copy is whole.
bool StageFile(const std::wstring& download, const std::wstring& launcherFolder, const std::wstring& staged,
               const std::wstring& tempFinal) {
  // A read-only file left from before would refuse to be replaced.
  const DWORD attributes = GetFileAttributesW(staged.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(staged.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  return MoveUp(download, staged, tempFinal) || CopyUp(download, launcherFolder, staged, tempFinal);
}

// The signature goes up before its archive. Whatever interrupts the two, the installation never
// pairs the new archive with an old signature, which would have it refused and deleted:
// - the signature could not go: neither goes, and the installation keeps the pair it had;
// - the archive could not go: the archive it supersedes goes instead, and the next start brings up
//   the new one to join its signature; when that one cannot go either, nothing is extracted now.
//   That holds too when the signature went up on an earlier start, killed before the archive.
// A signature left without an archive in temp or in the installation is of no use to anyone.
void StageSignedPair(const std::wstring& temp, const std::wstring& launcherFolder, const std::wstring& tempFinal,
                     StagingReport& report) {
  const std::wstring download = temp + L"update.zip";
  const std::wstring downloadSignature = download + L".minisig";
  const std::wstring staged = launcherFolder + L"update.zip";
  const std::wstring stagedSignature = staged + L".minisig";
  report.archiveFound = Exists(download);
  report.signatureFound = Exists(downloadSignature);
  if (!report.archiveFound) {
    if (report.signatureFound) report.leftoverSignatureRemoved = DeleteInTemp(downloadSignature, tempFinal);
    if (!Exists(staged) && Exists(stagedSignature)) report.leftoverSignatureRemoved = DeleteAnyFile(stagedSignature);
    return;
  }
  if (report.signatureFound) {
    report.signatureCopied = StageFile(downloadSignature, launcherFolder, stagedSignature, tempFinal);
    if (!report.signatureCopied) return;
  }
  report.archiveCopied = StageFile(download, launcherFolder, staged, tempFinal);
  // The archive left in temp supersedes the staged one, whose signature may already be the new one:
  // moved up on this start, or on one killed between the two moves.
  if (!report.archiveCopied && !DeleteAnyFile(staged) && Exists(staged)) report.pairWaits = true;
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
  // temp as the installation's own folder leads to it, whatever temp itself becomes meanwhile.
  std::wstring tempFinal = FinalPathOfFolder(launcherFolder);
  if (!tempFinal.empty() && tempFinal.back() != L'\\') tempFinal += L'\\';
  tempFinal += L"temp";
  // What a killed pass left here goes before this one writes anything.
  report.orphansSwept = SweepOrphans(launcherFolder);
  report.updaterAttempts = DeleteOldUpdater(temp + L"Updater.exe", tempFinal, report.updaterRemoved);

  for (const wchar_t* name : {L"update.td0", L"update.td1", L"update.td2", L"update.td3", L"update.td"}) {
    if (DeleteInTemp(temp + name, tempFinal)) ++report.leftoversRemoved;
  }

  if (signatureRequired) {
    StageSignedPair(temp, launcherFolder, tempFinal, report);
    return report;
  }
  const std::wstring download = temp + L"update.zip";
  if (!Exists(download)) return report;
  report.archiveFound = true;
  report.archiveCopied = StageFile(download, launcherFolder, launcherFolder + L"update.zip", tempFinal);
  return report;
}

bool HasWaitingUpdate(const std::wstring& folder) {
  const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
  const std::wstring root = separated ? folder : folder + L'\\';
  return Exists(root + L"update.zip") || Exists(root + L"temp\\update.zip");
}
