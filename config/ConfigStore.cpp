#include "ConfigStore.h"

#include <windows.h>

#include "ConfigDocument.h"
#include "ConfigFile.h"
#include "ConfigStoreBuild.h"
#include "InterfaceLanguage.h"
#include "TextConversion.h"

namespace {

constexpr DWORD kModulePathRoom = 260;

// The launcher's own path in wide form: an installation folder may hold characters the ANSI code
// page lacks. Empty when it cannot be taken whole.
std::wstring OwnModulePath() {
  wchar_t buffer[kModulePathRoom] = {};
  DWORD length = GetModuleFileNameW(nullptr, buffer, kModulePathRoom);
  // A path that fills the whole buffer was cut short.
  if (length == 0 || length >= kModulePathRoom) return {};
  return std::wstring(buffer, length);
}

void ShowLoadFailureBox() {
  // Always in Chinese: the language is decided only after the file was read.
  MessageBoxW(nullptr, L"启动器加载配置文件失败", L"错误", MB_OKCANCEL);
}

// A Language setting in a file that loaded decides; without one the registry does, looked up even
// without a file, then with an empty program name.
bool ChineseInterface(ConfigStore& store) {
  ProductConfig settings;
  std::vector<LaunchArgument> unused;
  if (store.loaded && FillSettings(store.document, Utf8ToWide, settings, unused) && !settings.Language.empty()) {
    return ChineseInterfaceForSetting(settings.Language);
  }
  std::string progName;
  store.ReadConfigText("ProgName", progName);
  return ChineseInterfaceFor(progName);
}

}  // namespace

std::unique_ptr<ConfigStore> BuildConfigStore(const std::wstring& modulePath, LoadFailureReport reportLoadFailure) {
  std::unique_ptr<ConfigStore> store(new ConfigStore());
  if (std::optional<std::wstring> file = FindConfigFile(modulePath)) {
    if (LoadConfigFile(*file, store->document) == tinyxml2::XML_SUCCESS) {
      store->loaded = true;
    } else {
      reportLoadFailure();
    }
  }
  store->chinese = ChineseInterface(*store);
  return store;
}

ConfigStore::ConfigStore() = default;

ConfigStore& ConfigStore::Instance() {
  // Built on first use; the runtime's exit handlers destroy it, and the document with it.
  static const std::unique_ptr<ConfigStore> store = BuildConfigStore(OwnModulePath(), ShowLoadFailureBox);
  return *store;
}

bool ConfigStore::ReadConfigText(const char* name, std::string& out) {
  if (!loaded) return false;
  const char* text = FirstRootChildText(document, name);
  if (!text) return false;
  std::string converted;
  if (Utf8ToAnsi(text, converted)) out = std::move(converted);
  return !out.empty();
}

bool ConfigStore::FillProductConfig(ProductConfig& config, std::vector<LaunchArgument>& arguments) {
  return FillSettings(document, Utf8ToWide, config, arguments);
}
