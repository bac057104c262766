#include "HostileUpdate.h"

#include <windows.h>

#include <system_error>

#include "Installation.h"

namespace hostile {
namespace {

namespace fs = std::filesystem;

using FileMap = std::map<std::wstring, std::string>;

// Every file below `root` with its content, keyed by its path relative to `root`; `skip` and what
// lies below it are left out.
FileMap FilesBelow(const fs::path& root, const fs::path& skip = {}) {
  FileMap files;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    if (!skip.empty() && it->path() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file(ignored)) files[fs::relative(it->path(), root).wstring()] = rig::ReadFile(it->path());
  }
  return files;
}

// The names directly in a folder: the shared places an absolute or climbing name would aim at.
std::set<std::wstring> NamesIn(const fs::path& folder) {
  std::set<std::wstring> names;
  std::error_code ignored;
  for (auto it = fs::directory_iterator(folder, ignored); it != fs::directory_iterator(); it.increment(ignored)) {
    names.insert(it->path().filename().wstring());
  }
  return names;
}

struct Watched {
  FileMap besideInstallation;                             // the scratch folder around the installation, recursively
  std::map<std::wstring, std::set<std::wstring>> shared;  // temp, the drive root, the Windows folders
};

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<fs::path> SharedPlaces(const fs::path& scratch) {
  return {scratch.parent_path(), L"C:\\", L"C:\\windows", L"C:\\windows\\system32", L"C:\\users\\Public"};
}

Watched Look(const fs::path& scratch, const fs::path& installation) {
  Watched watched;
  watched.besideInstallation = FilesBelow(scratch, installation);
  for (const fs::path& place : SharedPlaces(scratch)) watched.shared[place.wstring()] = NamesIn(place);
  return watched;
}

std::vector<std::wstring> Differences(const Watched& before, const Watched& after) {
  std::vector<std::wstring> changes;
  for (const auto& [name, content] : before.besideInstallation) {
    auto it = after.besideInstallation.find(name);
    if (it == after.besideInstallation.end()) {
      changes.push_back(L"deleted " + name);
    } else if (it->second != content) {
      changes.push_back(L"changed " + name);
    }
  }
  for (const auto& [name, content] : after.besideInstallation) {
    if (!before.besideInstallation.count(name)) changes.push_back(L"created " + name);
  }
  for (const auto& [place, names] : before.shared) {
    const std::set<std::wstring>& now = after.shared.at(place);
    for (const std::wstring& name : names) {
      if (!now.count(name)) changes.push_back(L"deleted " + place + L"\\" + name);
    }
    for (const std::wstring& name : now) {
      if (!names.count(name)) changes.push_back(L"created " + place + L"\\" + name);
    }
  }
  return changes;
}

}  // namespace

ziptest::Entry File(const std::string& name, const std::string& data) {
  ziptest::Entry entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

UpdateRun RunUpdate(const std::string& archive, const Preparation& prepare) {
  rig::Installation install;
  install.WriteConfig();
  const fs::path folder = install.folder();
  const fs::path scratch = folder.parent_path();
  rig::WriteFile(folder / L"data" / L"keep.txt", kInstalledText);
  rig::WriteFile(scratch / L"outside.txt", "beside the installation");
  rig::WriteFile(scratch / L"data" / L"keep.txt", "a look-alike outside");
  const Links links = prepare ? prepare(folder) : Links();

  const FileMap installedBefore = FilesBelow(folder);
  const Watched before = Look(scratch, folder);
  if (!archive.empty()) rig::WriteFile(folder / L"temp" / L"update.zip", archive);

  UpdateRun run;
  const rig::DebuggeeResult result = install.RunLauncher(L"");
  run.exitCode = result.exitCode;
  run.crashCode = result.crashCode;
  run.targetStarted = install.WaitForStarts(1, 5000);
  install.EndClients();

  run.outsideChanges = Differences(before, Look(scratch, folder));
  run.installedAfter = FilesBelow(folder);
  const FileMap& installedAfter = run.installedAfter;
  for (const auto& [name, content] : installedBefore) {
    auto it = installedAfter.find(name);
    if (it == installedAfter.end() || it->second != content) run.damagedInstalledFiles.push_back(name);
  }
  for (const auto& [name, content] : installedAfter) {
    if (installedBefore.count(name)) continue;
    if (name == L"update.zip") {
      run.archiveLeft = true;
    } else if (fs::path(name).filename().wstring().rfind(L"~pt", 0) == 0) {
      run.leftovers.push_back(name);
    } else if (!EndsWith(name, L".record.txt")) {
      run.newInstalledFiles[name] = content;
    }
  }
  return run;
}

}  // namespace hostile
