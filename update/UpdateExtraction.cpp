#include "UpdateExtraction.h"

#include <windows.h>

#include "PathGuard.h"
#include "UnsafeEntryName.h"
#include "ZipReader.h"

namespace {

enum class EntryOutcome { Applied, Skipped, Failed };

// The cleaned name is relative, but the file system still has the last word on where it leads:
// the full path must lie below the root and fit the path room.
bool LiesInsideRoot(const std::wstring& root, const std::wstring& name) {
  const std::wstring joined = root + name;
  if (joined.size() >= MAX_PATH) return false;
  wchar_t full[MAX_PATH];
  wchar_t fullRoot[MAX_PATH];
  const DWORD length = GetFullPathNameW(joined.c_str(), MAX_PATH, full, nullptr);
  const DWORD rootLength = GetFullPathNameW(root.c_str(), MAX_PATH, fullRoot, nullptr);
  if (length == 0 || length >= MAX_PATH || rootLength == 0 || rootLength >= MAX_PATH) return false;
  return length > rootLength && _wcsnicmp(full, fullRoot, rootLength) == 0;
}

EntryOutcome ApplyEntry(ZipReader& reader, int32_t index) {
  ZipEntryInfo info;
  if (reader.GetEntry(index, info) != ZipStatus::Success) return EntryOutcome::Failed;
  if (IsUnsafeEntryName(info.name) || !LiesInsideRoot(reader.root(), info.name) ||
      CrossesReparsePoint(reader.root(), info.name)) {
    return EntryOutcome::Skipped;
  }
  switch (reader.ExtractEntry(index, info.name)) {
    case ZipStatus::Success:
      return EntryOutcome::Applied;
    case ZipStatus::UnsafePath:
      return EntryOutcome::Skipped;
    default:
      return EntryOutcome::Failed;
  }
}

}  // namespace

void ExtractUpdatePackage() {
  wchar_t folder[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return;
  ExtractUpdatePackageIn(folder);
}

ExtractionReport ExtractUpdatePackageIn(const std::wstring& folder) {
  ExtractionReport report;
  std::wstring root = folder;
  if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
  const std::wstring archive = root + L"update.zip";
  if (GetFileAttributesW(archive.c_str()) == INVALID_FILE_ATTRIBUTES) return report;
  report.archiveFound = true;
  {
    ZipReader reader;
    if (reader.Open(archive, root) == ZipStatus::Success) {
      report.archiveOpened = true;
      ZipEntryInfo count;
      reader.GetEntry(-1, count);
      report.entries = count.index;
      for (int32_t index = 0; index < report.entries; ++index) {
        switch (ApplyEntry(reader, index)) {
          case EntryOutcome::Applied:
            ++report.applied;
            break;
          case EntryOutcome::Skipped:
            ++report.skipped;
            break;
          case EntryOutcome::Failed:
            ++report.failed;
            break;
        }
      }
    }
  }  // the reader holds the archive open until here
  // An archive that is no zip at all will never apply; one with a failed entry may next time.
  if (report.failed == 0) report.archiveDeleted = DeleteFileW(archive.c_str()) != FALSE;
  return report;
}
