#pragma once
// Which ProductConfig.xml a launcher in a given folder reads, and what lies beside that launcher.

#include <filesystem>
#include <string>
#include <vector>

#include "ConfigPlace.h"

// A program's look at a path: the launcher's own on Windows, std::filesystem's elsewhere.
using ReachLook = FileReach (*)(const std::filesystem::path& path);

struct ConfigLocation {
  std::filesystem::path file;            // the file the launcher reads
  std::filesystem::path launcherFolder;  // where the launcher, the target program and its icon lie
  bool fromFolderAbove = false;          // there is none beside the launcher: the one above is read
  bool searched = false;                 // a folder was given, and the file looked for beside it and above
  FileReach reach = FileReach::kMissing;  // what the look at `file` found
};

// `target` (UTF-8) names a folder, the launcher's, or a file; empty: the current folder. For a
// folder, its ProductConfig.xml, or else the one in the folder above, by the launcher's rule.
ConfigLocation LocateConfig(const std::string& target, ReachLook reachOf);

// The look through std::filesystem, links followed: a link to nothing is missing, as under Wine;
// one that loops, or a folder that cannot be searched, is unreachable.
FileReach FileSystemReach(const std::filesystem::path& path);

// UTF-8 names of what a folder holds; none when it cannot be read.
std::vector<std::string> FolderNames(const std::filesystem::path& folder);
