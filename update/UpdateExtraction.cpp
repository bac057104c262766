#include "UpdateExtraction.h"

#include <windows.h>

#include "ArchiveSource.h"
#include "FileReplace.h"
#include "InstalledFiles.h"
#include "PathGuard.h"
#include "RemovalList.h"
#include "UnsafeEntryName.h"
#include "UpdateOutcomeFile.h"
#include "UpdateSpace.h"
#include "UpdateVerification.h"

namespace {

enum class EntryOutcome { Applied, Skipped, Failed, RemovalList };

EntryOutcome ApplyEntry(ZipReader& reader, InstalledFiles& installed, int32_t index, ExtractionReport& report) {
  ZipEntryInfo info;
  const ZipStatus described = reader.GetEntry(index, info);
  if (described != ZipStatus::Success) {
    report.failures.push_back({info.name, described});
    return EntryOutcome::Failed;
  }
  if (IsRemovalListName(info.name) && !info.nameCleaned) return EntryOutcome::RemovalList;
  if (IsUnsafeEntryName(info.name) || !LiesInsideRoot(reader.root(), info.name) ||
      installed.CrossesReparsePoint(info.name)) {
    return EntryOutcome::Skipped;
  }
  const ZipStatus status = reader.ExtractEntry(index, info.name);
  if (status == ZipStatus::Success) return EntryOutcome::Applied;
  if (status == ZipStatus::UnsafePath) return EntryOutcome::Skipped;
  report.failures.push_back({info.name, status});
  return EntryOutcome::Failed;
}

uint64_t ClusterSizeOf(const std::wstring& folder) {
  wchar_t volume[MAX_PATH];
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD clusters = 0;
  if (!GetVolumePathNameW(folder.c_str(), volume, MAX_PATH) ||
      !GetDiskFreeSpaceW(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
    return 1;
  }
  return static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
}

// Half old and half new until space is freed is the worst an update could leave, so a pass that
// would not fit does not begin. A volume that tells nothing of its room is not held against it.
bool RoomForUpdate(ZipReader& reader, InstalledFiles& installed, const std::wstring& root) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return true;
  std::vector<PlannedFile> files;
  for (const SurveyedEntry& entry : reader.Survey()) {
    if (entry.folder || IsUnsafeEntryName(entry.name)) continue;
    PlannedFile file;
    file.newSize = entry.size;
    const std::optional<InstalledFile> old = installed.Find(entry.name);
    if (old && !(old->attributes & FILE_ATTRIBUTE_DIRECTORY)) file.oldSize = old->size;
    files.push_back(file);
  }
  return available.QuadPart >= SpaceNeeded(files, ClusterSizeOf(root));
}

// Letter case aside, and with the trailing dots and blanks the file system drops, as GetFullPathNameW
// resolves the name: only then does "PORTICO.EXE." name the same file as "Portico.exe".
bool NamesAnyOf(ZipReader& reader, const std::wstring& root, const std::vector<std::wstring>& files) {
  if (files.empty()) return false;
  wchar_t fullRoot[MAX_PATH];
  const DWORD rootLength = GetFullPathNameW(root.c_str(), MAX_PATH, fullRoot, nullptr);
  if (rootLength == 0 || rootLength >= MAX_PATH) return false;
  for (const SurveyedEntry& entry : reader.Survey()) {
    if (entry.folder || IsUnsafeEntryName(entry.name)) continue;
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW((root + entry.name).c_str(), MAX_PATH, full, nullptr);
    if (length <= rootLength || length >= MAX_PATH ||
        CompareStringOrdinal(full, static_cast<int>(rootLength), fullRoot, static_cast<int>(rootLength), TRUE) !=
            CSTR_EQUAL) {
      continue;
    }
    for (const std::wstring& file : files) {
      if (CompareStringOrdinal(full + rootLength, -1, file.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    }
  }
  return false;
}

void ApplyEntries(ZipReader& reader, InstalledFiles& installed, ExtractionReport& report,
                  std::vector<int32_t>& removalLists) {
  ZipEntryInfo count;
  reader.GetEntry(-1, count);
  report.entries = count.index;
  for (int32_t index = 0; index < report.entries; ++index) {
    switch (ApplyEntry(reader, installed, index, report)) {
      case EntryOutcome::Applied:
        ++report.applied;
        break;
      case EntryOutcome::Skipped:
        ++report.skipped;
        break;
      case EntryOutcome::RemovalList:
        removalLists.push_back(index);
        break;
      case EntryOutcome::Failed:
        ++report.failed;
        // Every later entry would fail the same way; what was written so far is whole.
        if (report.failures.back().status == ZipStatus::DiskFull) {
          report.diskFull = true;
          return;
        }
        break;
    }
  }
}

// The list is read once every entry has applied; with more than one, none is followed.
std::optional<RemovalList> ReadRemovalList(ZipReader& reader, const std::vector<int32_t>& lists,
                                           ExtractionReport& report) {
  if (lists.size() != 1) {
    report.skipped += static_cast<int>(lists.size());
    return RemovalList{true, {}, 0};
  }
  std::string bytes;
  const ZipStatus status = reader.ReadEntryData(lists.front(), kRemovalListMostBytes, bytes);
  if (status != ZipStatus::Success) {
    ++report.failed;
    report.failures.push_back({kRemovalListName, status});
    return std::nullopt;
  }
  RemovalList list = ParseRemovalList(bytes);
  ++(list.refused ? report.skipped : report.applied);
  return list;
}

void ApplyRemovals(ZipReader& reader, const std::vector<int32_t>& lists, const FileList& neverRemove,
                   ExtractionReport& report) {
  RemovalReport& removals = report.removals;
  if (lists.empty()) return;
  removals.state = RemovalListState::Waiting;
  if (report.diskFull) return;
  const std::optional<RemovalList> list = ReadRemovalList(reader, lists, report);
  if (!list) return;
  removals.skipped = list->unsafe;
  if (list->refused) {
    removals.state = RemovalListState::Refused;
    return;
  }
  // A file renamed by this update must not be gone before its new name has come.
  if (report.failed > 0) return;
  std::vector<std::wstring> written;
  for (const SurveyedEntry& entry : reader.Survey()) written.push_back(entry.name);
  RemoveListedPaths(reader.root(), list->paths, written, neverRemove ? neverRemove() : std::vector<std::wstring>(),
                    removals);
}

void ApplyArchive(ArchiveSource& source, const std::wstring& root, const std::vector<std::wstring>& stopAt,
                  const FileList& neverRemove, ExtractionReport& report, std::vector<std::wstring>& movedAside) {
  ZipReader reader;
  const ZipStatus opened = reader.Open(source, root);
  if (opened == ZipStatus::ReadError) {
    report.archiveUnreadable = true;
    return;
  }
  if (opened != ZipStatus::Success) return;
  report.archiveOpened = true;
  if (NamesAnyOf(reader, root, stopAt)) {
    report.stoppedAtNamedFile = true;
    return;
  }
  InstalledFiles installed(root);
  if (!RoomForUpdate(reader, installed, root)) {
    report.noRoom = true;
    return;
  }
  std::vector<int32_t> removalLists;
  ApplyEntries(reader, installed, report, removalLists);
  ApplyRemovals(reader, removalLists, neverRemove, report);
  movedAside = reader.movedAside();
}

PassEnd EndOf(const ExtractionReport& report) {
  if (report.archiveUnreadable || report.noRoom || report.stoppedAtNamedFile || report.failed > 0 ||
      report.removals.failed > 0) {
    return PassEnd::Waits;
  }
  return report.archiveOpened ? PassEnd::Installed : PassEnd::NotAnArchive;
}

ExtractionReport ExtractArchiveIn(const std::wstring& root, const UpdateTrust& trust,
                                  const std::vector<std::wstring>& stopAt, const FileList& neverRemove) {
  ExtractionReport report;
  const std::wstring archive = root + L"update.zip";
  const std::wstring signature = archive + L".minisig";
  if (GetFileAttributesW(archive.c_str()) == INVALID_FILE_ATTRIBUTES) return report;
  report.archiveFound = true;
  std::vector<std::wstring> movedAside;
  {
    // Held open, with no one else allowed to change it, until the pass is over: what was verified
    // is what is unpacked.
    ArchiveSource source;
    // A reader holding it, a denied access or an I/O error is no verdict on the archive.
    if (!source.Open(archive)) {
      report.archiveUnreadable = true;
      return report;
    }
    if (trust.signatureRequired) report.verdict = VerifyUpdate(trust, source, root);
    if (report.verdict.undecided) {
      report.archiveUnreadable = true;
      return report;
    }
    if (report.verdict.refusal == UpdateRefusal::None)
      ApplyArchive(source, root, stopAt, neverRemove, report, movedAside);
    // The client's updater knows a refused download by its hash, and does not fetch it again.
    const bool refused = report.verdict.refusal != UpdateRefusal::None;
    if (trust.signatureRequired && (refused || EndOf(report) == PassEnd::NotAnArchive)) {
      report.archiveSha256 = Sha256Hex(source.size(), [&source](uint64_t offset, void* buffer, size_t size) {
        return source.ReadAt(offset, buffer, size);
      });
    }
  }
  if (report.verdict.refusal != UpdateRefusal::None) {
    report.archiveDeleted = DeleteAnyFile(archive);
    DeleteAnyFile(signature);
    return report;
  }
  if (report.archiveUnreadable || report.noRoom || report.stoppedAtNamedFile) return report;
  // Programs moved aside that no longer run go now; the others at a later pass.
  for (const std::wstring& file : movedAside) DeleteAnyFile(file);
  // An archive that is no zip at all will never apply; one with a failed entry or removal may next time.
  if (report.failed == 0 && report.removals.failed == 0) {
    report.archiveDeleted = DeleteAnyFile(archive);
    if (trust.signatureRequired) DeleteAnyFile(signature);
  }
  return report;
}

}  // namespace

ExtractionReport ExtractUpdatePackage(const UpdateTrust& trust, const std::vector<std::wstring>& stopAt,
                                      const FileList& neverRemove) {
  wchar_t folder[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return ExtractionReport();
  return ExtractUpdatePackageIn(folder, trust, stopAt, neverRemove);
}

ExtractionReport ExtractUpdatePackageIn(const std::wstring& folder, const UpdateTrust& trust,
                                        const std::vector<std::wstring>& stopAt, const FileList& neverRemove) {
  std::wstring root = folder;
  if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
  const ExtractionReport report = ExtractArchiveIn(root, trust, stopAt, neverRemove);
  if (const std::optional<UpdateOutcome> outcome = JudgedOutcome(report.verdict, EndOf(report), report.archiveSha256)) {
    WriteUpdateOutcome(root, *outcome);
  }
  return report;
}
