// Applies update.zip in the given folder over that folder, exactly as the launcher's start does,
// and prints what it did. The bench driver times this program against miniunz.
//   BenchApplyUpdate FOLDER [PUBLIC_KEY]
// With a minisign public key (the base64 line of its .pub file), update.zip.minisig must lie beside
// the archive and is checked first, as with a configured UpdatePublicKey.
#include <windows.h>

#include <cstdio>

#include "UpdateExtraction.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) return 2;
  const UpdateTrust trust = argc == 3 ? DecideUpdateTrust("", argv[2]) : UpdateTrust();
  const ExtractionReport report = ExtractUpdatePackageIn(argv[1], trust);
  std::printf("entries %d applied %d skipped %d failed %d deleted %d\n", report.entries, report.applied, report.skipped,
              report.failed, report.archiveDeleted ? 1 : 0);
  const bool verified = !report.verdict.undecided && report.verdict.refusal == UpdateRefusal::None &&
                        report.verdict.checked == trust.signatureRequired;
  if (!verified) std::printf("signature: %s\n", RefusalRecord(report.verdict).c_str());
  return verified && report.archiveOpened && report.failed == 0 && report.skipped == 0 ? 0 : 1;
}
