#include "LaunchRecords.h"

#include <sstream>

#include "ConfigFile.h"
#include "ConfigStore.h"
#include "FileLog.h"
#include "Log.h"
#include "NarrowText.h"

namespace {

// Past this many, failed entries are counted rather than named: a broken archive of many thousand
// entries must not turn the log into its listing.
constexpr size_t kFailuresNamed = 50;

const char* ZipStatusName(ZipStatus status) {
  switch (status) {
    case ZipStatus::Success:
      return "success";
    case ZipStatus::BadArgument:
      return "bad argument";
    case ZipStatus::AlreadyOpen:
      return "already open";
    case ZipStatus::CannotOpenOrCreate:
      return "cannot open or create the file";
    case ZipStatus::CorruptArchive:
      return "corrupt archive";
    case ZipStatus::ReadError:
      return "read error";
    case ZipStatus::WriteError:
      return "write error";
    case ZipStatus::PasswordRequired:
      return "password required";
    case ZipStatus::InflateError:
      return "inflate error";
    case ZipStatus::ChecksumMismatch:
      return "checksum mismatch";
    case ZipStatus::UnsafePath:
      return "unsafe path";
    case ZipStatus::DiskFull:
      return "disk full";
  }
  return "unknown";
}

const char* ShortcutMeaning(int result) {
  switch (result) {
    case 1:
      return "refreshed";
    case 0:
      return "the shortcut could not be loaded";
    case -1:
      return "no old name for this language";
    case -2:
      return "the desktop folder could not be located";
    case -3:
      return "neither the old nor the new shortcut is on the desktop";
  }
  return "unknown";
}

std::string Counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string IdList(const std::vector<DWORD>& ids) {
  std::string list;
  for (DWORD id : ids) list += (list.empty() ? "" : ", ") + std::to_string(id);
  return list;
}

std::string ArchiveFate(const ExtractionReport& report) {
  if (report.archiveDeleted) return "update.zip deleted";
  if (report.diskFull) return "update.zip kept: the volume ran full, the pass stopped there";
  if (report.failed > 0) return "update.zip kept: entries failed, a later start tries them again";
  if (report.removals.failed > 0) return "update.zip kept: removals failed, a later start tries them again";
  return "update.zip could not be deleted";
}

// Said only of an archive with a removal list: without one, the record is what it always was.
std::string RemovalsDone(const RemovalReport& removals) {
  switch (removals.state) {
    case RemovalListState::None:
      return "";
    case RemovalListState::Refused:
      return "removal list refused (over 1 MiB or 65536 lines, or more than one), nothing removed; ";
    case RemovalListState::Waiting:
      return "removals wait until every entry has applied; ";
    case RemovalListState::Done:
      break;
  }
  return "removals: " + std::to_string(removals.removed) + " removed, " + std::to_string(removals.alreadyGone) +
         " already gone, " + std::to_string(removals.kept) + " kept, " + std::to_string(removals.skipped) +
         " skipped, " + std::to_string(removals.failed) + " failed; ";
}

}  // namespace

void RecordConfiguration(const LauncherLocation& launcher) {
  const std::optional<std::wstring> file = FindConfigFile(launcher.path);
  const bool beside = file && FolderOf(*file) == launcher.folder;
  PORTICO_FILE_LOG << "config: " << (file ? NarrowText(*file) : std::string("-"))
                   << (beside ? ", beside the launcher" : ", in the folder above") << "; language "
                   << (ConfigStore::Instance().chinese ? "zh-CN" : "en-US");
}

void RecordInstanceCheck(const std::wstring& progName, const TargetCheck& running, const LinkPayload& link,
                         bool forceRun) {
  const std::string name = NarrowText(progName);
  if (!running.goAhead) {
    PORTICO_FILE_LOG << "running: copy " << running.activatedProcessId << " of " << name << " has a window: brought up"
                     << (running.activatedHung ? ", not responding (hung)" : "");
    PORTICO_FILE_LOG << (link.found ? "road: hand-off" : "road: quiet, no link in the command line");
    return;
  }
  if (running.copiesFound == 0) {
    PORTICO_FILE_LOG << "running: no copy of " << name;
  } else {
    PORTICO_FILE_LOG << "running: " << Counted(running.copiesFound, "copy", "copies") << " of " << name
                     << (forceRun ? "" : " without a window") << ", " << running.ended.size() << " ended"
                     << (running.ended.empty() ? "" : " (" + IdList(running.ended) + ")");
  }
  PORTICO_FILE_LOG << (forceRun ? "road: start, forcerun" : "road: start");
}

void RecordRegistration(const RegistrationResult& result) {
  switch (result.outcome) {
    case RegistrationOutcome::Written:
      PORTICO_FILE_LOG << "registration: written";
      break;
    case RegistrationOutcome::InvalidScheme:
      PORTICO_FILE_LOG << "registration: skipped, Protocol is not a valid scheme name";
      break;
    case RegistrationOutcome::PathTooLong:
      PORTICO_FILE_LOG << "registration: skipped, the launcher's path is too long for the command";
      break;
    case RegistrationOutcome::Failed:
      PORTICO_FILE_LOG << "registration: failed, error " << result.error;
      break;
    case RegistrationOutcome::FolderNotTrusted:
      if (result.writer.empty()) {
        PORTICO_FILE_LOG << "registration: skipped, the permissions of the launcher's folder could not be read, error "
                         << result.error;
      } else {
        PORTICO_FILE_LOG << "registration: skipped, users without administrator rights can change the launcher's "
                            "folder: "
                         << result.writer;
      }
      break;
    case RegistrationOutcome::HeldByAnotherLauncher:
      PORTICO_FILE_LOG << "registration: skipped, the scheme belongs to " << NarrowText(result.otherLauncher)
                       << ", a launcher in another folder that only administrators can change";
      break;
  }
}

void RecordUpdateLock(const UpdateLock& lock) {
  if (lock.squatter() == UpdateLock::Squatter::FolderRemoved) {
    PORTICO_FILE_LOG << "update lock: an empty folder stood at its name; removed";
  } else if (lock.squatter() == UpdateLock::Squatter::FolderKept) {
    PORTICO_FILE_LOG << "update lock: a link or a folder with content stands at its name; left alone, the update "
                        "goes on without the lock";
  }
  if (lock.waited()) {
    PORTICO_FILE_LOG << "update: waited for another launcher's update; looking again for a running copy";
  }
}

void RecordUpdateHeldByAnother(bool linkDropped) {
  PORTICO_FILE_LOG << "update: another launcher's update did not end; nothing is started"
                   << (linkDropped ? ", the link is not opened" : "") << "; box shown, exit code 2";
}

void RecordUpdateWaitsForItsKey() {
  // No log file can be named without the configuration: this goes to every output there is.
  PORTICO_LOG_INFO << "update waits: the configuration that names the update key could not be read";
}

void RecordStaging(const StagingReport& report) {
  if (report.tempRedirected) {
    PORTICO_FILE_LOG << "staging: temp is a junction or a symbolic link; nothing staged";
    return;
  }
  std::ostringstream text;
  text << "staging: " << Counted(report.orphansSwept, "orphan", "orphans") << " swept; Updater.exe "
       << (report.updaterRemoved        ? "removed"
           : report.updaterAttempts > 1 ? "not removed"
                                        : "not there")
       << " (" << Counted(report.updaterAttempts, "attempt", "attempts") << "); "
       << Counted(report.leftoversRemoved, "download leftover", "download leftovers") << " removed; ";
  if (!report.archiveFound) {
    text << "no update.zip in temp";
  } else {
    text << (report.archiveCopied ? "update.zip moved up" : "update.zip not moved up, kept in temp");
  }
  if (report.signatureFound && report.archiveFound) {
    text << (report.signatureCopied ? "; update.zip.minisig moved up" : "; update.zip.minisig not moved up, both kept");
  }
  if (report.leftoverSignatureRemoved) text << "; a signature without its archive removed";
  if (report.pairWaits) text << "; the update.zip it supersedes could not be removed: nothing extracted now";
  PORTICO_FILE_LOG << text.str();
}

void RecordExtraction(const ExtractionReport& report) {
  const UpdateVerdict& verdict = report.verdict;
  if (verdict.refusal != UpdateRefusal::None) {
    // Whoever looks for a refused update finds it on every output, not only in the file.
    PORTICO_LOG_INFO << RefusalRecord(verdict);
    PORTICO_FILE_LOG << "extraction: nothing written; update.zip and update.zip.minisig "
                     << (report.archiveDeleted ? "deleted" : "could not be deleted");
    return;
  }
  if (verdict.checked && verdict.undecided) {
    PORTICO_FILE_LOG << "signature: update.zip.minisig could not be read or checked now; both kept";
  } else if (verdict.checked) {
    PORTICO_FILE_LOG << "signature: verified, key " << verdict.signatureKeyId << ", timestamp " << verdict.timestamp
                     << " (installed " << verdict.installedTimestamp << ")";
  }
  if (!report.archiveFound) {
    PORTICO_FILE_LOG << "extraction: no update.zip";
  } else if (report.archiveUnreadable) {
    PORTICO_FILE_LOG << "extraction: update.zip is in use or unreadable now; kept for a later start, nothing written";
  } else if (!report.archiveOpened) {
    PORTICO_FILE_LOG << "extraction: update.zip is no zip archive; "
                     << (report.archiveDeleted ? "deleted" : "it could not be deleted");
  } else if (report.noRoom) {
    PORTICO_FILE_LOG << "extraction: no room on the volume for the update; update.zip kept, nothing written";
  } else {
    PORTICO_FILE_LOG << "extraction: " << Counted(report.entries, "entry", "entries") << ", " << report.applied
                     << " applied, " << report.skipped << " skipped, " << report.failed << " failed; "
                     << RemovalsDone(report.removals) << ArchiveFate(report);
    for (size_t i = 0; i < report.failures.size() && i < kFailuresNamed; ++i) {
      PORTICO_FILE_LOG << "extraction failed: " << NarrowText(report.failures[i].name) << " ("
                       << ZipStatusName(report.failures[i].status) << ")";
    }
    if (report.failures.size() > kFailuresNamed) {
      PORTICO_FILE_LOG << "extraction failed: " << report.failures.size() - kFailuresNamed << " more entries";
    }
    const std::vector<std::wstring>& removalFailures = report.removals.failures;
    for (size_t i = 0; i < removalFailures.size() && i < kFailuresNamed; ++i) {
      PORTICO_FILE_LOG << "removal failed: " << NarrowText(removalFailures[i]) << " (in use or denied)";
    }
    if (removalFailures.size() > kFailuresNamed) {
      PORTICO_FILE_LOG << "removal failed: " << removalFailures.size() - kFailuresNamed << " more paths";
    }
  }
}

void RecordShortcut(int result) {
  PORTICO_FILE_LOG << "shortcut: " << result << " (" << ShortcutMeaning(result) << ")";
}

void RecordShortcut(const std::optional<int>& result, const FolderJudgement& folder) {
  if (result) {
    RecordShortcut(*result);
  } else if (folder.trust == FolderTrust::Unreadable) {
    PORTICO_FILE_LOG << "shortcut: not refreshed, the permissions of the launcher's folder could not be read";
  } else {
    PORTICO_FILE_LOG << "shortcut: not refreshed, users without administrator rights can change the launcher's folder";
  }
}

void RecordStart(const TargetStart& start) {
  switch (start.outcome) {
    case TargetStart::Outcome::NoProgram:
      PORTICO_FILE_LOG << "start: nothing to start (no ProgName, a ProgName that is not a bare file name or is a "
                          "command script, or the launcher's folder is unknown)";
      break;
    case TargetStart::Outcome::Started:
      PORTICO_FILE_LOG << "start: CreateProcessW gave process " << start.processId << " (started)";
      break;
    case TargetStart::Outcome::Failed:
      PORTICO_FILE_LOG << "start: CreateProcessW gave error " << start.error << " (failed)";
      break;
    case TargetStart::Outcome::ElevatedStarted:
      PORTICO_FILE_LOG << "start: CreateProcessW gave error 740 (the program demands administrator rights); "
                          "started through the elevation prompt";
      break;
    case TargetStart::Outcome::ElevatedFailed:
      PORTICO_FILE_LOG << "start: CreateProcessW gave error 740 (the program demands administrator rights); "
                          "the elevation prompt gave error "
                       << start.error;
      break;
  }
}

int RecordHandOff(int exitCode) {
  PORTICO_FILE_LOG << "hand-off: exit code " << exitCode
                   << (exitCode == 0 ? " (the link was written to the running copy's pipe)"
                                     : " (not handed over: the pipe name was refused, the link was too long, or the "
                                       "pipe could not be opened, was served by another process or took no message)");
  return exitCode;
}

void RecordCopyWentAway(const TargetCheck& running) {
  PORTICO_FILE_LOG << "hand-off: copy " << running.activatedProcessId
                   << " ended before it took the link; road: start, with the link";
}
