#pragma once
// Stores built for scratch installations in this process; the load-failure box is counted
// instead of shown (the real box is seen end to end through ConfigProbe).

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "ConfigStore.h"
#include "ConfigStoreBuild.h"
#include "Debuggee.h"
#include "Scratch.h"

namespace configtest {

struct Built {
  std::unique_ptr<ConfigStore> store;
  int boxes = 0;
};

inline int& BoxCount() {
  static int count = 0;
  return count;
}

inline Built BuildFor(const std::filesystem::path& launcher) {
  BoxCount() = 0;
  auto store = BuildConfigStore(launcher.wstring(), [] { ++BoxCount(); });
  return {std::move(store), BoxCount()};
}

// A launcher with ProductConfig.xml holding `xml` beside it.
inline Built BuildFromText(const std::string& xml) {
  rig::ScratchFolder install;
  rig::WriteFile(install.path() / L"ProductConfig.xml", xml);
  return BuildFor(install.path() / L"Portico.exe");
}

// ConfigProbe copied into `folder` as `name` (the folder is made when missing).
inline std::filesystem::path CopyProbe(const std::filesystem::path& folder, const std::wstring& name) {
  std::filesystem::create_directories(folder);
  std::filesystem::path launcher = folder / name;
  std::filesystem::copy_file(rig::BinaryFolder() / L"ConfigProbe.exe", launcher);
  return launcher;
}

// ConfigProbe's lines "key=value": acp, loaded, chinese, filled and ProgName.
inline std::map<std::string, std::string> ProbeReport(const rig::DebuggeeResult& result) {
  std::map<std::string, std::string> report;
  const std::string& text = result.standardError;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    size_t equals = line.find('=');
    if (equals != std::string::npos) report[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return report;
}

inline std::string Utf8(const std::wstring& text) { return std::filesystem::path(text).u8string(); }

}  // namespace configtest
