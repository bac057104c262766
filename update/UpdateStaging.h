#pragma once
// Clears the leftovers of the last download in temp and moves a downloaded update.zip up into the
// launcher folder, ready for ExtractUpdatePackage.

#include <string>

// What one staging pass did, for those who want to know; the launcher does not look.
struct StagingReport {
  bool tempRedirected = false;  // temp is a junction or a symbolic link: nothing was touched
  int orphansSwept = 0;         // temporary files of a killed pass removed from the launcher folder
  int updaterAttempts = 0;      // deletions of temp\Updater.exe tried, 1 to 6
  bool updaterRemoved = false;  // temp\Updater.exe was there and is gone
  int leftoversRemoved = 0;     // temp\update.td* files removed
  bool archiveFound = false;    // temp\update.zip was there
  bool archiveCopied = false;   // it was copied up (and only then removed from temp)
  // With a signature required, update.zip.minisig travels with the archive, and goes up first.
  bool signatureFound = false;
  bool signatureCopied = false;
  bool leftoverSignatureRemoved = false;  // a signature whose archive is gone
  // The new signature went up but its archive did not, and the archive it supersedes could not be
  // removed: extracting now would pair the two and lose the download. Nothing is extracted.
  bool pairWaits = false;
};

// Stages the update in the folder of the launcher's own executable; an empty report when that
// folder cannot be read.
StagingReport StageUpdatePackage(bool signatureRequired = false);

// The same for a given launcher folder, which ends in a backslash.
StagingReport StageUpdatePackageIn(const std::wstring& launcherFolder, bool signatureRequired = false);

// Whether an update lies in `folder` (the launcher's) or its temp, staged or downloaded.
bool HasWaitingUpdate(const std::wstring& folder);
