#pragma once
// Unpacks update.zip over the installation, then removes it.

#include <functional>
#include <string>
#include <vector>

#include "UpdateRemoval.h"
#include "UpdateTrust.h"
#include "ZipReader.h"

// Asked for only when an archive has a removal list, so that a start without one pays nothing.
using FileList = std::function<std::vector<std::wstring>()>;

struct FailedEntry {
  std::wstring name;
  ZipStatus status = ZipStatus::Success;
};

// What one pass did, for those who want to know; the launcher does not look.
struct ExtractionReport {
  bool archiveFound = false;
  bool archiveUnreadable = false;  // in use or unreadable now: kept for a later start, nothing written
  bool archiveOpened = false;      // it was a readable zip archive
  bool noRoom = false;             // the volume could not hold the update: kept, nothing written
  bool diskFull = false;           // the volume ran full during the pass: kept, the pass stopped there
  int entries = 0;
  int applied = 0;
  int skipped = 0;  // unsafe names, links, and names or paths that do not fit
  int failed = 0;   // a failure that a later start may not meet again: the archive stays for it
  std::vector<FailedEntry> failures;
  // The archive's removal list, counted among the entries: applied when read, skipped when refused.
  // A removal that failed keeps the archive as a failed entry does.
  RemovalReport removals;
  bool archiveDeleted = false;
  // With a signature required: the check's outcome. A refused archive and its signature are deleted,
  // since they will never verify; an undecided one is kept, as an unreadable one is.
  UpdateVerdict verdict;
  // The verified archive has an entry for one of the files the caller named: nothing was written,
  // the archive is kept.
  bool stoppedAtNamedFile = false;
  // SHA-256 of a signed archive that was refused or was no zip archive, as its outcome names it.
  std::string archiveSha256;
};

// With a signature required, a pass that judged the archive for good leaves its outcome in temp
// (UpdateOutcomeFile.h).

// Unpacks update.zip from the current directory into the current directory; an empty report when
// the current directory cannot be read. When an entry would replace one of `stopAt` (file names
// directly in the folder, compared as the file system compares them), nothing is unpacked. The
// archive's removal list never removes one of the files `neverRemove` gives (full paths).
ExtractionReport ExtractUpdatePackage(const UpdateTrust& trust = UpdateTrust(),
                                      const std::vector<std::wstring>& stopAt = {},
                                      const FileList& neverRemove = nullptr);

// The same with update.zip in `folder` and the entries unpacked below it.
ExtractionReport ExtractUpdatePackageIn(const std::wstring& folder, const UpdateTrust& trust = UpdateTrust(),
                                        const std::vector<std::wstring>& stopAt = {},
                                        const FileList& neverRemove = nullptr);
