#include "ConfigLocation.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kConfigName[] = "ProductConfig.xml";

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

}  // namespace

ConfigLocation LocateConfig(const std::string& target) {
  std::error_code error;
  const fs::path given = fs::u8path(target);
  if (!target.empty() && !fs::is_directory(given, error)) {
    fs::path folder = given.parent_path();
    return {given, folder.empty() ? fs::path(".") : folder, false, false};
  }
  // Shown as given: "ProductConfig.xml" for the current folder, "install/ProductConfig.xml" for another.
  const fs::path beside = given / kConfigName;
  const fs::path launcherFolder = target.empty() ? fs::path(".") : given;
  if (Exists(beside)) return {beside, launcherFolder, false, true};
  // Anything of that name, a folder too, keeps the launcher from looking further. It takes the
  // folder above without testing it; in a drive's root that is the root again.
  const fs::path above = given / ".." / kConfigName;
  if (Exists(above)) return {above, launcherFolder, true, true};
  return {beside, launcherFolder, false, true};
}

std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    names.push_back(entry->path().filename().u8string());
  }
  return names;
}
