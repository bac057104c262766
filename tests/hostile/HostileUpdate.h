#pragma once
// One launcher run over a hostile update archive in a fresh scratch installation, with everything
// outside the installation that an escaping entry could reach noted before and after.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Host.h"
#include "ZipBuilder.h"

namespace hostile {

// Installed before the update runs; no hostile archive may change it.
constexpr char kInstalledText[] = "installed version 1";

struct UpdateRun {
  unsigned long exitCode = 0;
  unsigned long crashCode = 0;
  bool targetStarted = false;  // the launch went on after the update
  bool archiveLeft = false;             // update.zip still in the installation (an entry failed)
  std::vector<std::wstring> leftovers;  // temporary files of the extraction left behind
  // Files created, changed or deleted outside the installation folder, in the places watched.
  std::vector<std::wstring> outsideChanges;
  // Installed files (data\keep.txt, the target program) whose content changed.
  std::vector<std::wstring> damagedInstalledFiles;
  // Files the archive made inside the installation, relative to it, with their content.
  std::map<std::wstring, std::string> newInstalledFiles;
  // Every file in the installation afterwards, relative to it, with its content.
  std::map<std::wstring, std::string> installedAfter;
};

// Lays out more of the installation, or around it, before the run; the links it makes are removed
// after the run.
using Links = std::vector<std::unique_ptr<rig::HostSymlink>>;
using Preparation = std::function<Links(const std::filesystem::path& installation)>;

// Installs data\keep.txt, lays the archive into temp (unless it is empty) and runs the launcher with
// no arguments.
UpdateRun RunUpdate(const std::string& archive, const Preparation& prepare = nullptr);

ziptest::Entry File(const std::string& name, const std::string& data);

}  // namespace hostile
