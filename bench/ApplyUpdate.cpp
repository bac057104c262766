// Applies update.zip in the given folder over that folder, exactly as the launcher's start does,
// and prints what it did. The bench driver times this program against miniunz.
#include <windows.h>

#include <cstdio>

#include "UpdateExtraction.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const ExtractionReport report = ExtractUpdatePackageIn(argv[1]);
  std::printf("entries %d applied %d skipped %d failed %d deleted %d\n", report.entries, report.applied, report.skipped,
              report.failed, report.archiveDeleted ? 1 : 0);
  return report.archiveOpened && report.failed == 0 && report.skipped == 0 ? 0 : 1;
}
