#pragma once
// The launch settings from ProductConfig.xml and the interface language, read once per process.

#include <tinyxml2.h>

#include <memory>
#include <string>
#include <vector>

// The launch settings. All empty until ConfigStore::FillProductConfig fills them.
struct ProductConfig {
  std::wstring shortcut_cn;
  std::wstring shortcut_en;
  std::wstring shortcut_new_cn;
  std::wstring shortcut_new_en;
  std::wstring ProgName;
  std::wstring Protocol;
  std::wstring Pipe;
  // Optional settings beyond the launch itself; each changes nothing while it is absent.
  std::wstring UpdatePublicKey;  // minisign public key that must have signed an update
  std::wstring LogFile;          // diagnostic log file, relative to the launcher folder or absolute
  std::wstring Language;         // interface language ("en-US", "zh-CN"), in place of the registry's
  std::wstring HandOffBox;       // "false": a running copy is brought up without the "already running" box
};

// One extra argument for the target program, as it is to appear on its command line.
using LaunchArgument = std::wstring;

class ConfigStore {
 public:
  // The process-wide store; the first call finds and loads ProductConfig.xml and decides the language.
  static ConfigStore& Instance();

  // Text of the first root child element named exactly `name`, in the ANSI code page.
  bool ReadConfigText(const char* name, std::string& out);
  // Fills the settings and appends the enabled extra arguments; false when the document has no root.
  bool FillProductConfig(ProductConfig& config, std::vector<LaunchArgument>& arguments);

  bool loaded = false;
  bool chinese = true;  // interface texts in Chinese (true) or English (false)
  tinyxml2::XMLDocument document;

 private:
  // Built only by BuildConfigStore: Instance() builds it for the running launcher.
  friend std::unique_ptr<ConfigStore> BuildConfigStore(const std::wstring& modulePath, void (*reportLoadFailure)());
  ConfigStore();
  ConfigStore(const ConfigStore&) = delete;
  ConfigStore& operator=(const ConfigStore&) = delete;
};
