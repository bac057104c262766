#include "CheckCommand.h"

#include <tinyxml2.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>

#include "AsciiText.h"
#include "CheckReport.h"
#include "CompiledKey.h"
#include "ConfigLocation.h"
#include "DocumentChecks.h"
#include "FileEncoding.h"
#include "ItemChecks.h"
#include "LaunchChecks.h"
#include "ReportJson.h"
#include "ReportText.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUsageExit = 3;
constexpr char kUsage[] =
    "usage: PorticoCheck [--json] [path to ProductConfig.xml or to the installation folder]\n"
    "       PorticoCheck --help\n";
constexpr char kHelp[] =
    "\n"
    "Reads ProductConfig.xml as the Portico launcher reads it, prints the settings and what the launcher\n"
    "will do with them, and reports what it would ignore or refuse without a word. Given a folder (the\n"
    "current one by default), it reads the folder's ProductConfig.xml, or the one in the folder above\n"
    "when there is none, as a launcher in that folder does, and looks there for the target program\n"
    "and its icon.\n"
    "\n"
    "  --json   the report as one JSON object (its shape: docs/ProductConfig.md)\n"
    "  --help   this text\n"
    "\n"
    "Exit code: 0 nothing to report but notes, 1 warnings, 2 the launcher cannot load the file,\n"
    "3 a bad command line.\n";
constexpr char kLoadFailure[] = "the launcher shows its load-failure box and reads no settings";

struct Options {
  bool json = false;
  bool help = false;
  std::string target;
  std::string error;
};

Options ParseArguments(const std::vector<std::string>& arguments) {
  Options options;
  bool targetGiven = false;
  for (const std::string& argument : arguments) {
    if (argument == "--json") {
      options.json = true;
    } else if (argument == "--help" || argument == "-h" || argument == "/?") {
      options.help = true;
    } else if (!argument.empty() && argument[0] == '-') {
      options.error = "unknown option " + argument;
    } else if (targetGiven) {
      options.error = "more than one path given";
    } else {
      options.target = argument;
      targetGiven = true;
    }
  }
  return options;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string ReadAll(std::FILE* file) {
  std::string bytes;
  char buffer[16384];
  for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, read);
  return bytes;
}

void AddError(CheckReport& report, const char* code, int line, const std::string& message) {
  report.findings.push_back({Severity::kError, code, line, message});
}

void LoadFailure(const tinyxml2::XMLDocument& document, CheckReport& report) {
  switch (document.ErrorID()) {
    case tinyxml2::XML_ERROR_EMPTY_DOCUMENT:
      AddError(report, "file-empty", 0, std::string("the file is empty or holds only blanks: ") + kLoadFailure);
      break;
    case tinyxml2::XML_ERROR_FILE_NOT_FOUND:
    case tinyxml2::XML_ERROR_FILE_COULD_NOT_BE_OPENED:
    case tinyxml2::XML_ERROR_FILE_READ_ERROR:
      AddError(report, "file-unreadable", 0, std::string("the file cannot be read: ") + kLoadFailure);
      break;
    default:
      AddError(report, "xml-malformed", document.ErrorLineNum(),
               std::string("not well-formed XML (") + document.ErrorName() + "): " + kLoadFailure);
  }
}

void NoteLocation(const ConfigLocation& location, CheckReport& report) {
  if (location.fromFolderAbove) {
    report.findings.push_back({Severity::kNote, "config-above", 0,
                               "no ProductConfig.xml beside the launcher: it reads the one in the folder above"});
  }
  // Windows ignores the letter case of file names.
  if (AsciiLower(location.file.filename().u8string()) != "productconfig.xml") {
    report.findings.push_back(
        {Severity::kNote, "config-name", 0, "the launcher reads only a file named ProductConfig.xml, not this one"});
  }
}

// A key compiled into a launcher decides which updates install, whatever the file says.
void FindCompiledKey(const fs::path& launcherFolder, const CheckPlatform& platform, LaunchPlan& plan) {
  for (const wchar_t* launcher : {L"Portico.exe", L"PorticoUser.exe"}) {
    std::unique_ptr<std::FILE, FileCloser> file(platform.openForReading(launcherFolder / launcher));
    if (!file) continue;
    std::string bytes;
    char chunk[65536];
    size_t got = 0;
    while (bytes.size() < kLauncherFileRoom && (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
      bytes.append(chunk, got);
    }
    if (const auto id = CompiledKeyId(bytes)) {
      plan.compiledKeyId = *id;
      plan.compiledKeyLauncher = launcher;
      return;
    }
  }
}

CheckReport Check(const ConfigLocation& location, const CheckPlatform& platform) {
  CheckReport report;
  report.file = location.file.generic_u8string();
  NoteLocation(location, report);
  if (location.reach == FileReach::kMissing) {
    AddError(report, "file-missing", 0,
             location.searched
                 ? std::string("no ProductConfig.xml beside the launcher nor in the folder above: ") + kLoadFailure
                 : std::string("the file does not exist: ") + kLoadFailure);
    return report;
  }
  std::unique_ptr<std::FILE, FileCloser> file(platform.openForReading(location.file));
  if (!file) {
    AddError(report, "file-unreadable", 0, std::string("the file cannot be read: ") + kLoadFailure);
    return report;
  }
  const std::string bytes = ReadAll(file.get());
  // The launcher's own load: a document with TinyXML2's default settings, read from the open file.
  tinyxml2::XMLDocument document;
  report.loaded = document.LoadFile(file.get()) == tinyxml2::XML_SUCCESS;
  const bool utf16 = CheckEncoding(bytes, report.loaded, report.findings);
  if (!report.loaded) {
    if (!utf16) LoadFailure(document, report);
    return report;
  }
  FillSettings(document, platform.toWide, report.settings, report.enabledItems);
  CheckStructure(document, platform.toWide, report);
  if (const tinyxml2::XMLElement* root = document.RootElement()) CheckItems(*root, platform.toWide, report.findings);
  FindCompiledKey(location.launcherFolder, platform, report.plan);
  PlanLaunch(document, FolderNames(location.launcherFolder), report);
  CheckLogFile(location.launcherFolder, platform.expandVariables, report);
  return report;
}

// By line, and findings of no line after them; equal lines keep the order they were found in.
void SortByLine(std::vector<Finding>& findings) {
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    return (a.line > 0 ? a.line : INT_MAX) < (b.line > 0 ? b.line : INT_MAX);
  });
}

// A file can repeat one mistake without end: past a few of a kind, one finding counts the rest.
void LimitEachKind(std::vector<Finding>& findings) {
  constexpr int kShownOfAKind = 20;
  struct Kind {
    int count = 0;
    Severity severity = Severity::kNote;
  };
  std::map<std::string, Kind> kinds;
  std::vector<Finding> kept;
  for (const Finding& finding : findings) {
    Kind& kind = kinds[finding.code];
    kind.severity = finding.severity;
    if (++kind.count <= kShownOfAKind) kept.push_back(finding);
  }
  for (const auto& [code, kind] : kinds) {
    if (kind.count <= kShownOfAKind) continue;
    kept.push_back({kind.severity, code, 0,
                    std::to_string(kind.count - kShownOfAKind) + " more " + code + " findings are left out"});
  }
  findings = std::move(kept);
}

}  // namespace

CheckOutput RunCheck(const std::vector<std::string>& arguments, const CheckPlatform& platform) {
  const Options options = ParseArguments(arguments);
  if (!options.error.empty()) return {"", "PorticoCheck: " + options.error + "\n" + kUsage, kUsageExit};
  if (options.help) return {std::string(kUsage) + kHelp, "", 0};
  CheckReport report = Check(LocateConfig(options.target, platform.reachOf), platform);
  SortByLine(report.findings);
  LimitEachKind(report.findings);
  return {options.json ? ReportJson(report) : ReportText(report), "", ExitCodeOf(report)};
}
