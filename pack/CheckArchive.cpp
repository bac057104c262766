#include "CheckArchive.h"

#include <tinyxml2.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "ArchiveEntries.h"
#include "AsciiText.h"
#include "CompiledKey.h"
#include "ConfigDocument.h"
#include "DisplayText.h"
#include "EntryName.h"
#include "JsonText.h"
#include "MinisignFormat.h"
#include "PackMain.h"
#include "PackNames.h"
#include "PackTree.h"
#include "RemovalList.h"
#include "SignatureCheck.h"
#include "UnsafeEntryName.h"
#include "UpdateStampText.h"
#include "UpdateTrust.h"
#include "Utf8ToUtf16.h"

namespace fs = std::filesystem;

namespace {

struct CheckOptions {
  std::string archive, key, signature, installation;
  std::optional<std::uint64_t> floor;
  bool json = false;
  std::string error;
};

CheckOptions ParseOptions(const std::vector<std::string>& args) {
  CheckOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--key" && hasValue) {
      options.key = args[++i];
    } else if (arg == "--signature" && hasValue) {
      options.signature = args[++i];
    } else if (arg == "--installation" && hasValue) {
      options.installation = args[++i];
    } else if (arg == "--floor" && hasValue) {
      const std::string& value = args[++i];
      const std::uint64_t seconds = ParseUpdateStamp(value);
      if (value.empty() || value.size() > 19 || (seconds == 0 && value != "0") ||
          value.find_first_not_of("0123456789") != std::string::npos) {
        options.error = "check: --floor takes Unix seconds, not '" + value + "'";
        return options;
      }
      options.floor = seconds;
    } else if (!arg.empty() && arg[0] != '-' && options.archive.empty()) {
      options.archive = arg;
    } else {
      options.error = "check: unexpected '" + arg + "'";
      return options;
    }
  }
  if (options.archive.empty()) options.error = "check: name the archive";
  return options;
}

struct Finding {
  const char* severity;
  std::string code;
  std::string message;
};

struct EntryLine {
  std::string name;
  std::string action;  // added, replaced, written, folder, skipped, fails, removal-list
  std::string why;
};

struct SignatureReport {
  std::string state = "not-checked";  // verified, refused, not-checked, undecided
  std::string detail;
  std::string keyId;
  std::uint64_t timestamp = 0;
  std::string product;
  std::uint64_t installed = 0;
  std::optional<std::uint64_t> floor;  // as --floor gives it: the launcher's own is compiled in
};

// What the installation tells: its files (letter case folded), settings and stamp.
struct Installation {
  bool given = false;
  std::map<std::string, const TreeItem*> files;
  Tree tree;
  std::wstring program, protocol, key;
  std::string compiledKey;  // the key line compiled into the installation's launcher, which wins
  std::uint64_t stamp = 0;
};

struct Report {
  std::string archive;
  bool readable = false;
  std::vector<EntryLine> entries;
  std::vector<EntryLine> removals;
  SignatureReport signature;
  std::vector<Finding> findings;
  int exitCode = kPackClean;
};

std::string ForwardSlashes(std::wstring name) {
  for (wchar_t& c : name) {
    if (c == L'\\') c = L'/';
  }
  return Utf8(name);
}

// At most `room` bytes of the file; empty when it cannot be read.
std::string FileText(const fs::path& path, size_t room) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  char chunk[65536];
  while (in && text.size() < room) {
    in.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, room - text.size())));
    text.append(chunk, static_cast<size_t>(in.gcount()));
  }
  return text;
}

Installation ReadInstallation(const std::string& folder, Report& report) {
  Installation installation;
  if (folder.empty()) return installation;
  installation.given = true;
  const fs::path root = fs::u8path(folder);
  installation.tree = ScanTree(root);
  if (!installation.tree.error.empty()) {
    report.findings.push_back({"warning", "installation-unreadable", installation.tree.error});
  }
  for (const TreeItem& item : installation.tree.items) installation.files.emplace(FoldedName(item.name), &item);
  tinyxml2::XMLDocument document;
  const std::string config = (root / "ProductConfig.xml").u8string();
  if (document.LoadFile(config.c_str()) == tinyxml2::XML_SUCCESS) {
    ProductConfig settings;
    std::vector<LaunchArgument> arguments;
    FillSettings(document, Utf8ToUtf16, settings, arguments);
    installation.program = settings.ProgName;
    installation.protocol = settings.Protocol;
    installation.key = settings.UpdatePublicKey;
  }
  installation.stamp = ParseUpdateStamp(FileText(root / "~pt-update.stamp", kMaxStampBytes + 1));
  for (const char* launcher : {"Portico.exe", "PorticoUser.exe"}) {
    installation.compiledKey = CompiledKeyLine(FileText(root / launcher, kLauncherFileRoom));
    if (!installation.compiledKey.empty()) break;
  }
  return installation;
}

bool IsLauncherFile(const std::wstring& name) {
  const std::string lower = AsciiLower(Utf8(name));
  return lower == "portico.exe" || lower == "porticouser.exe";
}

void JudgeEntries(const ArchiveContents& contents, const Installation& installation, Report& report) {
  std::set<std::string> seen;
  for (const ArchiveEntry& entry : contents.entries) {
    EntryLine line;
    line.name = entry.name.empty() ? Utf8(DecodeEntryName(entry.storedName.data(), entry.storedName.size()))
                                   : ForwardSlashes(entry.name);
    if (IsRemovalListName(entry.name)) {
      line.action = "removal-list";
    } else if (entry.name.empty()) {
      line.action = "skipped";
      line.why = "the stored name is " + std::to_string(entry.storedName.size()) +
                 " bytes or more; the launcher takes fewer than 260";
    } else if (IsUnsafeEntryName(entry.name)) {
      line.action = "skipped";
      line.why = "the name " + UnsafeNameReason(entry.name);
    } else if (entry.encrypted) {
      line.action = "fails";
      line.why = "encrypted: the launcher has no password";
    } else if (entry.method != 0 && entry.method != 8) {
      line.action = "fails";
      line.why = "compression method " + std::to_string(entry.method) + ": the launcher reads stored and deflated";
    } else if (entry.folder) {
      line.action = "folder";
    } else if (!installation.given) {
      line.action = "written";
    } else {
      std::string key = FoldedName(line.name);
      line.action = installation.files.count(key) ? "replaced" : "added";
    }
    if (!entry.name.empty() && !seen.insert(FoldedName(line.name)).second && line.action != "skipped") {
      report.findings.push_back({"warning", "entry-twice",
                                 "'" + line.name + "' is in the archive twice (letter case aside): the last one wins"});
    }
    if (line.action == "fails") {
      report.findings.push_back({"error", "entry-fails", "'" + line.name + "' cannot be installed: " + line.why});
    }
    report.entries.push_back(std::move(line));
  }
}

std::set<std::string> WrittenNames(const Report& report) {
  std::set<std::string> written;
  for (const EntryLine& line : report.entries) {
    if (line.action != "skipped" && line.action != "removal-list") written.insert(FoldedName(line.name));
  }
  return written;
}

void JudgeRemovals(const ArchiveContents& contents, const Installation& installation, Report& report) {
  if (!contents.removalList) return;
  const RemovalList list = ParseRemovalList(*contents.removalList);
  const auto lists = std::count_if(contents.entries.begin(), contents.entries.end(),
                                   [](const ArchiveEntry& entry) { return IsRemovalListName(entry.name); });
  if (lists > 1) {
    report.findings.push_back({"error", "removal-list-refused",
                               "the archive holds more than one ~pt~removals.txt: the launcher removes nothing"});
    return;
  }
  if (list.refused) {
    report.findings.push_back({"error", "removal-list-refused",
                               "~pt~removals.txt is over 1 MiB or 65536 lines: the launcher removes nothing"});
    return;
  }
  if (list.unsafe > 0) {
    report.findings.push_back({"warning", "removal-unsafe",
                               std::to_string(list.unsafe) + " path(s) of ~pt~removals.txt are unsafe and skipped"});
  }
  const std::set<std::string> written = WrittenNames(report);
  const std::string program = FoldedName(ForwardSlashes(installation.program));
  for (const std::wstring& path : list.paths) {
    EntryLine line;
    line.name = ForwardSlashes(path);
    const bool folder = !line.name.empty() && line.name.back() == '/';
    const std::string key = FoldedName(folder ? line.name.substr(0, line.name.size() - 1) : line.name);
    if (written.count(key)) {
      line.action = "kept";
      line.why = "the archive writes it";
    } else if (IsLauncherFile(path) || key == "productconfig.xml" || key == "temp" || key.rfind("temp/", 0) == 0 ||
               key == "~pt-update.stamp" || key == "update.zip" || key == "update.zip.minisig") {
      line.action = "kept";
      line.why = "the launcher never removes its own files";
    } else if (!installation.given) {
      line.action = folder ? "removed-if-empty" : "removed";
    } else if (!installation.files.count(key)) {
      line.action = "absent";
    } else {
      line.action = folder ? "removed-if-empty" : "removed";
    }
    if (!program.empty() && key == program && line.action != "kept" && line.action != "absent") {
      report.findings.push_back({"warning", "removes-program",
                                 "the archive removes '" + line.name + "', the program the installation starts"});
    }
    report.removals.push_back(std::move(line));
  }
}

void JudgeShape(const Report& report, const Installation& installation, std::vector<Finding>& findings) {
  std::set<std::string> tops;
  bool allNested = true;
  size_t installable = 0;
  for (const EntryLine& line : report.entries) {
    if (line.action == "removal-list" || line.action == "skipped") continue;
    ++installable;
    const size_t slash = line.name.find('/');
    if (slash == std::string::npos || slash + 1 == line.name.size()) {
      if (slash == std::string::npos) allNested = false;
    }
    tops.insert(line.name.substr(0, slash));
    const std::wstring wide = Utf8ToUtf16Units(line.name.c_str());
    if (IsLauncherFile(wide)) {
      findings.push_back(
          {"warning", "carries-launcher",
           "the archive carries '" + line.name + "': the launcher replaces itself only through a running copy"});
    } else if (AsciiLower(line.name) == "productconfig.xml") {
      findings.push_back({"warning", "carries-configuration",
                          "the archive carries ProductConfig.xml: every installation's settings are replaced"});
    }
  }
  if (installable == 0 || !allNested || tops.size() != 1) return;
  const std::string top = *tops.begin();
  if (installation.given && installation.files.count(FoldedName(top))) return;
  findings.push_back({"warning", "one-top-folder",
                      "every entry lies under '" + top + "/'" +
                          (installation.given ? ", which the installation does not have" : "") +
                          ": made with zip -r of the folder itself? The files install one folder too deep"});
}

void JudgeSignature(const CheckOptions& options, const Installation& installation, Report& report) {
  SignatureReport& signature = report.signature;
  // As the launcher decides: its compiled-in key over the configured one; --key stands for either.
  std::string compiledKey = installation.compiledKey;
  std::wstring configuredKey = installation.key;
  if (!options.key.empty()) {
    compiledKey.clear();
    configuredKey = Utf8ToUtf16Units(options.key.c_str());
  }
  const UpdateTrust trust =
      DecideUpdateTrust(compiledKey, configuredKey, options.floor.value_or(0), installation.protocol);
  UpdateVerdict verdict;
  verdict.checked = trust.signatureRequired;
  if (!trust.signatureRequired) {
    signature.detail = "no key given (--key, the installation's launcher or its UpdatePublicKey)";
    return;
  }
  const fs::path path = fs::u8path(options.signature.empty() ? options.archive + ".minisig" : options.signature);
  const std::string text = FileText(path, kMaxSignatureFileSize + 1);
  std::error_code error;
  const std::uint64_t size = fs::file_size(fs::u8path(options.archive), error);
  std::optional<MinisignSignature> parsed;
  if (!trust.key) {
    verdict.refusal = UpdateRefusal::KeyMalformed;
  } else if (!fs::exists(path, error)) {
    verdict.refusal = UpdateRefusal::NoSignature;
  } else if (text.size() > kMaxSignatureFileSize || !(parsed = ParseMinisignSignature(text))) {
    verdict.refusal = UpdateRefusal::SignatureMalformed;
  } else {
    verdict.signatureKeyId = KeyIdText(parsed->keyId);
    std::ifstream in(fs::u8path(options.archive), std::ios::binary);
    const FileReader read = [&in](std::uint64_t offset, void* buffer, size_t room) -> size_t {
      in.clear();
      in.seekg(static_cast<std::streamoff>(offset));
      in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(room));
      return static_cast<size_t>(in.gcount());
    };
    switch (CheckMinisignSignature(*trust.key, *parsed, size, read)) {
      case SignatureVerdict::Verified:
        break;
      case SignatureVerdict::OtherKey:
        verdict.refusal = UpdateRefusal::OtherKey;
        break;
      case SignatureVerdict::FileSignatureInvalid:
        verdict.refusal = UpdateRefusal::ArchiveNotSigned;
        break;
      case SignatureVerdict::CommentSignatureInvalid:
        verdict.refusal = UpdateRefusal::CommentNotSigned;
        break;
      case SignatureVerdict::FileUnreadable:
        verdict.refusal = UpdateRefusal::LegacyTooLarge;
        break;
      case SignatureVerdict::CryptoUnavailable:
        verdict.undecided = true;
        break;
    }
  }
  if (parsed && verdict.refusal == UpdateRefusal::None && !verdict.undecided) {
    const std::optional<std::uint64_t> timestamp = TrustedTimestamp(parsed->trustedComment);
    if (!timestamp) {
      verdict.refusal = UpdateRefusal::NoTimestamp;
    } else if (const auto other = ForeignProduct(parsed->trustedComment, trust.product); other && installation.given) {
      verdict.timestamp = *timestamp;
      verdict.refusal = UpdateRefusal::OtherProduct;
      verdict.signedProduct = std::string(*other);
    } else {
      verdict.timestamp = *timestamp;
      verdict.installedTimestamp = installation.stamp;
      if (verdict.timestamp < verdict.installedTimestamp) {
        verdict.refusal = UpdateRefusal::OlderThanInstalled;
      } else if (verdict.timestamp < trust.floor) {
        verdict.refusal = UpdateRefusal::OlderThanFloor;
        verdict.floor = trust.floor;
      }
    }
    signature.product = std::string(ForeignProduct(parsed->trustedComment, "").value_or(""));
  }
  signature.keyId = verdict.signatureKeyId;
  signature.timestamp = verdict.timestamp;
  signature.installed = installation.stamp;
  signature.floor = options.floor;
  if (verdict.undecided) {
    signature.state = "undecided";
    signature.detail = "the signature could not be checked now";
  } else if (verdict.refusal != UpdateRefusal::None) {
    signature.state = "refused";
    signature.detail = RefusalRecord(verdict);
    report.findings.push_back({"error", "signature-refused", "the launcher refuses the archive: " + signature.detail});
  } else {
    signature.state = "verified";
    if (installation.protocol.empty() && !signature.product.empty()) {
      signature.detail =
          "bound to product '" + signature.product + "': give --installation to see whether its Protocol matches";
    }
  }
}

std::string Json(const std::string& utf8) { return JsonString(utf8); }

std::string JsonLines(const std::vector<EntryLine>& lines) {
  if (lines.empty()) return "[]";
  std::string out = "[\n";
  for (size_t i = 0; i < lines.size(); ++i) {
    out += "    {\"name\": " + Json(lines[i].name) + ", \"action\": " + Json(lines[i].action) +
           ", \"why\": " + Json(lines[i].why) + "}" + (i + 1 < lines.size() ? ",\n" : "\n");
  }
  return out + "  ]";
}

std::string ReportJson(const Report& report) {
  const SignatureReport& s = report.signature;
  std::string out = "{\n";
  out += "  \"archive\": " + Json(report.archive) + ",\n";
  out += "  \"readable\": " + std::string(report.readable ? "true" : "false") + ",\n";
  out += "  \"entries\": " + JsonLines(report.entries) + ",\n";
  out += "  \"removals\": " + JsonLines(report.removals) + ",\n";
  out += "  \"signature\": {\"state\": " + Json(s.state) + ", \"detail\": " + Json(s.detail) +
         ", \"keyId\": " + (s.keyId.empty() ? "null" : Json(s.keyId)) +
         ", \"timestamp\": " + std::to_string(s.timestamp) +
         ", \"product\": " + (s.product.empty() ? "null" : Json(s.product)) +
         ", \"installedStamp\": " + std::to_string(s.installed) +
         ", \"floor\": " + (s.floor ? std::to_string(*s.floor) : std::string("null")) + "},\n";
  out += "  \"findings\": [";
  for (size_t i = 0; i < report.findings.size(); ++i) {
    const Finding& f = report.findings[i];
    out += std::string(i ? ",\n" : "\n") + "    {\"severity\": " + Json(f.severity) + ", \"code\": " + Json(f.code) +
           ", \"message\": " + Json(f.message) + "}";
  }
  out += report.findings.empty() ? "],\n" : "\n  ],\n";
  out += "  \"exitCode\": " + std::to_string(report.exitCode) + "\n}\n";
  return out;
}

std::string ReportText(const Report& report) {
  std::ostringstream out;
  out << report.archive << "\n";
  if (!report.readable) {
    for (const Finding& f : report.findings) out << f.severity << ": " << f.message << "\n";
    return out.str();
  }
  out << "Entries (" << report.entries.size() << "):\n";
  for (const EntryLine& line : report.entries) {
    out << "  " << line.action << "  " << line.name << (line.why.empty() ? "" : "  (" + line.why + ")") << "\n";
  }
  if (!report.removals.empty()) {
    out << "Removals (" << report.removals.size() << "):\n";
    for (const EntryLine& line : report.removals) {
      out << "  " << line.action << "  " << line.name << (line.why.empty() ? "" : "  (" + line.why + ")") << "\n";
    }
  }
  const SignatureReport& s = report.signature;
  out << "Signature: " << s.state;
  if (!s.keyId.empty()) out << ", key " << s.keyId;
  if (s.timestamp) out << ", timestamp " << s.timestamp;
  if (!s.product.empty()) out << ", product " << s.product;
  if (s.state != "not-checked") {
    out << ", installation's stamp " << s.installed << ", floor "
        << (s.floor ? std::to_string(*s.floor) : std::string("not given (--floor)"));
  }
  out << (s.detail.empty() ? "" : " (" + s.detail + ")") << "\n";
  for (const Finding& f : report.findings) out << f.severity << ": " << f.message << "\n";
  return out.str();
}

int ExitCodeOf(const Report& report) {
  if (!report.readable) return kPackRefused;
  int code = kPackClean;
  for (const Finding& f : report.findings) {
    if (std::string(f.severity) == "error") return kPackRefused;
    code = kPackWarnings;
  }
  return code;
}

}  // namespace

int RunCheckArchive(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const CheckOptions options = ParseOptions(args);
  if (!options.error.empty()) {
    err << "portico-pack " << options.error << "\nUsage:\n" << kCheckUsage;
    return kPackUsage;
  }
  Report report;
  report.archive = options.archive;
  const Installation installation = ReadInstallation(options.installation, report);
  const ArchiveContents contents = ReadArchiveEntries(fs::u8path(options.archive));
  report.readable = contents.readable && contents.error.empty();
  if (!report.readable) {
    report.findings.push_back(
        {"error", "archive-unreadable", "the launcher cannot read the archive: " + contents.error});
  } else {
    JudgeEntries(contents, installation, report);
    JudgeRemovals(contents, installation, report);
    JudgeShape(report, installation, report.findings);
    JudgeSignature(options, installation, report);
  }
  report.exitCode = ExitCodeOf(report);
  out << (options.json ? ReportJson(report) : ReportText(report));
  return report.exitCode;
}
