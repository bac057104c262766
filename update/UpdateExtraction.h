#pragma once
// Unpacks update.zip over the installation, then removes it.

#include <string>

// What one pass did, for those who want to know; the launcher does not look.
struct ExtractionReport {
  bool archiveFound = false;
  bool archiveOpened = false;  // it was a readable zip archive
  int entries = 0;
  int applied = 0;
  int skipped = 0;  // unsafe names, and names or paths that do not fit
  int failed = 0;   // a failure that a later start may not meet again: the archive stays for it
  bool archiveDeleted = false;
};

// Unpacks update.zip from the current directory into the current directory.
void ExtractUpdatePackage();

// The same with update.zip in `folder` and the entries unpacked below it.
ExtractionReport ExtractUpdatePackageIn(const std::wstring& folder);
