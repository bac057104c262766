#include "ConfigLocation.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kConfigName[] = "ProductConfig.xml";

}  // namespace

ConfigLocation LocateConfig(const std::string& target, ReachLook reachOf) {
  std::error_code error;
  const fs::path given = fs::u8path(target);
  if (!target.empty() && !fs::is_directory(given, error)) {
    fs::path folder = given.parent_path();
    return {given, folder.empty() ? fs::path(".") : folder, false, false, reachOf(given)};
  }
  // Shown as given: "ProductConfig.xml" for the current folder, "install/ProductConfig.xml" for another.
  const fs::path beside = given / kConfigName;
  const fs::path launcherFolder = target.empty() ? fs::path(".") : given;
  const FileReach besideReach = reachOf(beside);
  // The folder above is taken without testing it; in a drive's root that is the root again.
  if (PlaceOfConfig(besideReach, true) == ConfigPlace::kBeside) {
    return {beside, launcherFolder, false, true, besideReach};
  }
  const fs::path above = given / ".." / kConfigName;
  const FileReach aboveReach = reachOf(above);
  if (aboveReach == FileReach::kMissing) return {beside, launcherFolder, false, true, besideReach};
  return {above, launcherFolder, true, true, aboveReach};
}

FileReach FileSystemReach(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return FileReach::kMissing;
  return error ? FileReach::kUnreachable : FileReach::kPresent;
}

std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    names.push_back(entry->path().filename().u8string());
  }
  return names;
}
