// The scheme's open command in the real HKEY_CLASSES_ROOT of the prefix. Registrations that need a
// launcher at a chosen path, or whose log record is looked at, run in DesktopProbe.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "Debuggee.h"
#include "ProtocolRegistration.h"
#include "Scratch.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace {

// A scheme name of its own for one test, whose whole key is removed afterwards.
class ScratchScheme {
 public:
  explicit ScratchScheme(std::wstring name = FreshName()) : name_(std::move(name)) {}
  ~ScratchScheme() { RegDeleteTreeW(HKEY_CLASSES_ROOT, name_.c_str()); }
  ScratchScheme(const ScratchScheme&) = delete;
  ScratchScheme& operator=(const ScratchScheme&) = delete;

  const std::wstring& name() const { return name_; }
  std::wstring commandKey() const { return name_ + L"\\shell\\open\\command"; }

  static std::wstring FreshName() {
    std::wstring name = rig::UniqueName(L"porticotest");
    std::replace(name.begin(), name.end(), L'_', L'x');
    return name;
  }

 private:
  std::wstring name_;
};

bool KeyExists(const std::wstring& subKey) {
  portico::RegKey key;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The default value as stored, type and bytes, or nothing when the key or the value is missing.
std::optional<std::pair<DWORD, std::string>> DefaultValue(const std::wstring& subKey) {
  portico::RegKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), L"", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  std::string bytes(size, '\0');
  if (RegQueryValueExW(key.get(), L"", nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  return std::make_pair(type, bytes);
}

// What an exact REG_SZ of the command for `launcher` holds: the text and one terminating zero.
std::pair<DWORD, std::string> ExactCommand(const fs::path& launcher) {
  const std::wstring text = L"\"" + launcher.wstring() + L"\" \"%1\"";
  return {REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t))};
}

fs::path Probe() { return rig::BinaryFolder() / L"DesktopProbe.exe"; }

TEST(Registration, CommandQuotesALauncherPathWithBlanks) {
  rig::ScratchFolder install(L"Program Files (x86)\\Sample App");
  const fs::path launcher = install.CopyProgram(L"DesktopProbe.exe", L"Portico Launcher.exe");
  ScratchScheme scheme;

  const auto result = rig::RunDebuggee(launcher, L"register " + scheme.commandKey());
  ASSERT_EQ(result.exitCode, 0u);
  EXPECT_EQ(DefaultValue(scheme.commandKey()), ExactCommand(launcher));
  EXPECT_TRUE(result.debugStrings.empty());
  EXPECT_EQ(result.standardError, "");
}

TEST(Registration, ReplacesThePaddedCommandOfAnotherCopyAtItsExactLength) {
  ScratchScheme scheme;
  // As an older launcher stored it: the whole 260-character buffer.
  std::wstring padded = L"\"C:\\Program Files\\Other Copy\\Portico.exe\" \"%1\"";
  padded.resize(260, L'\0');
  ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, scheme.commandKey().c_str(), nullptr, REG_SZ, padded.data(), 520),
            ERROR_SUCCESS);

  WriteRegFun(scheme.commandKey());
  EXPECT_EQ(DefaultValue(scheme.commandKey()), ExactCommand(rig::BinaryFolder() / L"desktop_test.exe"));
}

TEST(Registration, CreatesTheSchemeShellAndOpenKeys) {
  ScratchScheme scheme;
  ASSERT_FALSE(KeyExists(scheme.name()));

  WriteRegFun(scheme.commandKey());
  EXPECT_EQ(DefaultValue(scheme.commandKey()), ExactCommand(rig::BinaryFolder() / L"desktop_test.exe"));
}

// A text value as stored, or nothing when the key or the value is missing.
std::optional<std::wstring> TextValue(const std::wstring& subKey, const wchar_t* name) {
  wchar_t text[512] = {};
  DWORD size = sizeof(text);
  if (RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(text);
}

TEST(Registration, OnlyASchemeKeyItCreatesIsMarkedAsAUrlHandler) {
  ScratchScheme created;
  WriteRegFun(created.commandKey());
  EXPECT_EQ(TextValue(created.name(), L"URL Protocol"), std::wstring());
  EXPECT_EQ(TextValue(created.name(), L""), L"URL:" + created.name());

  // An installer's key stays as the installer made it; the command is still written.
  ScratchScheme installed;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, installed.name().c_str(), nullptr, REG_SZ, L"Demo", 10), ERROR_SUCCESS);
  WriteRegFun(installed.commandKey());
  EXPECT_EQ(TextValue(installed.name(), L"URL Protocol"), std::nullopt);
  EXPECT_EQ(TextValue(installed.name(), L""), L"Demo");
  EXPECT_EQ(DefaultValue(installed.commandKey()), ExactCommand(rig::BinaryFolder() / L"desktop_test.exe"));
}

TEST(Registration, MalformedSchemeNamesWriteNothing) {
  ScratchScheme scheme;
  const bool shellKeyBefore = KeyExists(L"shell");
  for (const std::wstring& protocol : {std::wstring(), scheme.name() + L"\\evil", L"9" + scheme.name(),
                                       scheme.name() + L" x", scheme.name() + L"/x"}) {
    WriteRegFun(protocol + L"\\shell\\open\\command");
  }
  WriteRegFun(scheme.name());
  EXPECT_FALSE(KeyExists(scheme.name()));
  EXPECT_FALSE(KeyExists(L"9" + scheme.name()));
  // An empty scheme would have made HKEY_CLASSES_ROOT\shell\open\command.
  if (!shellKeyBefore) {
    EXPECT_FALSE(KeyExists(L"shell"));
  }
}

TEST(Registration, LauncherPathLongerThan252CharactersIsNotRegistered) {
  rig::ScratchFolder install;
  const size_t room = 252 - install.path().wstring().size() - std::wstring(L"\\\\P.exe").size();
  for (const size_t length : {size_t{252}, size_t{253}}) {
    const fs::path folder = install.path() / std::wstring(room + length - 252, L'p');
    fs::create_directories(folder);
    const fs::path launcher = folder / L"P.exe";
    fs::copy_file(Probe(), launcher);
    ASSERT_EQ(launcher.wstring().size(), length);
    ScratchScheme scheme;

    ASSERT_EQ(rig::RunDebuggee(launcher, L"register " + scheme.commandKey()).exitCode, 0u);
    if (length == 252) {
      EXPECT_EQ(DefaultValue(scheme.commandKey()), ExactCommand(launcher));
    } else {
      EXPECT_FALSE(KeyExists(scheme.name()));
    }
  }
}

TEST(Registration, KeyThatCannotBeCreatedLeavesNoRecord) {
  // The registry refuses a key name component longer than 255 characters.
  ScratchScheme scheme(std::wstring(300, L'p'));
  const auto result = rig::RunDebuggee(Probe(), L"register " + scheme.commandKey());
  ASSERT_EQ(result.exitCode, 0u);
  EXPECT_FALSE(KeyExists(scheme.name()));
  EXPECT_TRUE(result.debugStrings.empty());
  EXPECT_EQ(result.standardError, "");
}

TEST(Registration, ValueThatCannotBeStoredLeavesExactlyOneRecord) {
  ScratchScheme scheme;
  const auto result = rig::RunDebuggee(Probe(), L"register-unstorable " + scheme.commandKey());
  ASSERT_EQ(result.exitCode, 0u);
  ASSERT_EQ(result.debugStrings.size(), 1u);
  const std::string& record = result.debugStrings[0];
  EXPECT_EQ(record.rfind("[ZIR][I][", 0), 0u) << record;
  const std::string text = "] set reg failure: \n";
  ASSERT_GE(record.size(), text.size());
  EXPECT_EQ(record.substr(record.size() - text.size()), text) << record;
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 1);
  EXPECT_EQ(result.standardError, record);
}

}  // namespace
