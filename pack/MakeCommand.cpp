#include "MakeCommand.h"

#include <map>
#include <system_error>

#include "EntryAttributes.h"
#include "PackMain.h"
#include "PackNames.h"
#include "PackTree.h"
#include "RemovalList.h"
#include "Utf8ToUtf16.h"
#include "ZipWriter.h"

namespace fs = std::filesystem;

namespace {

// The removal list is no installed file; its time is fixed so that it adds nothing of the hour.
constexpr std::int64_t kRemovalListTime = 315532800;  // 1980-01-01

struct MakeOptions {
  std::string newDir, oldDir, output;
  std::string error;
};

MakeOptions ParseOptions(const std::vector<std::string>& args) {
  MakeOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == "--from" || arg == "-o") && i + 1 < args.size()) {
      (arg == "--from" ? options.oldDir : options.output) = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && options.newDir.empty()) {
      options.newDir = arg;
    } else {
      options.error = "make: unexpected '" + arg + "'";
      return options;
    }
  }
  if (options.newDir.empty() || options.output.empty()) options.error = "make: NEW_DIR and -o UPDATE.zip are needed";
  return options;
}

// What the archive carries: the entries in name order, then the removals.
struct Plan {
  std::vector<const TreeItem*> files;
  std::vector<const TreeItem*> folders;
  std::vector<std::string> removals;  // UTF-8, '/' between components, a folder's ending in '/'
  int added = 0;
  int replaced = 0;
  std::vector<std::string> refusals;
};

void JudgeNames(const Tree& tree, Plan& plan) {
  std::map<std::string, const TreeItem*> seen;
  for (const TreeItem& item : tree.items) {
    if (const auto why = NameRefusal(item.name, item.folder)) plan.refusals.push_back("'" + item.name + "' " + *why);
    const auto [at, fresh] = seen.emplace(FoldedName(item.name), &item);
    if (!fresh) {
      plan.refusals.push_back("'" + at->second->name + "' and '" + item.name +
                              "' differ only in letter case: Windows keeps one file for both");
    }
  }
}

bool Changed(const TreeItem& now, const TreeItem& before) {
  // A name whose letter case changed is written again, so that the file takes the new spelling.
  return now.name != before.name || now.size != before.size || now.readOnly != before.readOnly ||
         !SameContent(now.path, before.path, now.size);
}

Plan MakePlan(const Tree& next, const Tree* previous) {
  Plan plan;
  JudgeNames(next, plan);
  if (!plan.refusals.empty()) return plan;
  std::map<std::string, const TreeItem*> before;
  if (previous) {
    for (const TreeItem& item : previous->items) before.emplace(FoldedName(item.name), &item);
  }
  std::map<std::string, const TreeItem*> now;
  for (const TreeItem& item : next.items) {
    now.emplace(FoldedName(item.name), &item);
    const auto old = before.find(FoldedName(item.name));
    const TreeItem* was = old == before.end() ? nullptr : old->second;
    if (was && was->folder != item.folder) {
      plan.refusals.push_back("'" + item.name + "' is a " + (item.folder ? "folder" : "file") + " now and was a " +
                              (was->folder ? "folder" : "file") +
                              ": one update cannot remove the one and write the other under the same name");
      continue;
    }
    if (item.folder) {
      // A folder with files comes with them; an empty one needs an entry of its own.
      if (item.emptyFolder && !was) plan.folders.push_back(&item);
      continue;
    }
    if (!was) {
      plan.files.push_back(&item);
      ++plan.added;
    } else if (Changed(item, *was)) {
      plan.files.push_back(&item);
      ++plan.replaced;
    }
  }
  if (previous) {
    for (const TreeItem& item : previous->items) {
      if (now.count(FoldedName(item.name)) == 0) plan.removals.push_back(item.folder ? item.name + "/" : item.name);
    }
  }
  return plan;
}

std::string RemovalListBytes(const std::vector<std::string>& removals) {
  std::vector<std::wstring> paths;
  for (const std::string& removal : removals) {
    std::wstring path = Utf8ToUtf16Units(removal.c_str());
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    paths.push_back(std::move(path));
  }
  return WriteRemovalList(paths);
}

ZipWriteEntry EntryOf(const TreeItem& item) {
  ZipWriteEntry entry;
  entry.name = item.folder ? item.name + "/" : item.name;
  entry.attributes = item.folder ? kAttributeDirectory : kAttributeArchive;
  if (item.readOnly) entry.attributes |= kAttributeReadOnly;
  entry.writeTime = item.writeTime;
  return entry;
}

std::string WriteArchive(const Plan& plan, const fs::path& output) {
  fs::path partial = output;
  partial += ".part";
  ZipWriter writer(partial);
  // One order for both kinds, by name, so that the bytes follow from the trees alone.
  std::map<std::string, const TreeItem*> entries;
  for (const TreeItem* item : plan.files) entries.emplace(item->name, item);
  for (const TreeItem* item : plan.folders) entries.emplace(item->name + "/", item);
  for (const auto& [name, item] : entries) {
    if (item->folder) {
      writer.AddFolder(EntryOf(*item));
    } else {
      writer.AddFile(EntryOf(*item), item->path);
    }
  }
  if (!plan.removals.empty()) {
    ZipWriteEntry list;
    std::string name;
    for (const wchar_t c : std::wstring(kRemovalListName)) name.push_back(static_cast<char>(c));
    list.name = name;
    list.attributes = kAttributeArchive;
    list.writeTime = kRemovalListTime;
    writer.AddBytes(list, RemovalListBytes(plan.removals));
  }
  std::error_code error;
  if (!writer.Finish()) {
    fs::remove(partial, error);
    return writer.error();
  }
  fs::rename(partial, output, error);
  if (error) {
    fs::remove(partial, error);
    return "cannot write '" + output.u8string() + "'";
  }
  return std::string();
}

}  // namespace

int RunMake(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const MakeOptions options = ParseOptions(args);
  if (!options.error.empty()) {
    err << "portico-pack " << options.error << "\nUsage:\n" << kMakeUsage;
    return kPackUsage;
  }
  const Tree next = ScanTree(fs::u8path(options.newDir));
  if (!next.error.empty()) {
    err << "portico-pack make: " << next.error << "\n";
    return kPackRefused;
  }
  Tree previous;
  if (!options.oldDir.empty()) {
    previous = ScanTree(fs::u8path(options.oldDir));
    if (!previous.error.empty()) {
      err << "portico-pack make: " << previous.error << "\n";
      return kPackRefused;
    }
  }
  const Plan plan = MakePlan(next, options.oldDir.empty() ? nullptr : &previous);
  if (!plan.refusals.empty()) {
    for (const std::string& refusal : plan.refusals) err << "portico-pack make: " << refusal << "\n";
    return kPackRefused;
  }
  const std::string failure = WriteArchive(plan, fs::u8path(options.output));
  if (!failure.empty()) {
    err << "portico-pack make: " << failure << "\n";
    return kPackRefused;
  }
  out << options.output << ": " << plan.added << " added, " << plan.replaced << " replaced, " << plan.folders.size()
      << " empty folders, " << plan.removals.size() << " removed\n";
  return kPackClean;
}
