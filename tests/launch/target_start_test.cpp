// How the launcher starts the target: as a program by its full path in the launcher folder, with the
// command line the shell's "open" built, and never through the file classes of the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "Installation.h"
#include "WinHandles.h"

namespace {

using rig::Installation;

std::wstring Link(const Installation& install, const std::wstring& payload) {
  return L"\"" + install.scheme() + L"://" + payload + L"\"";
}

// A default value planted under root\<key> for the length of a test, the value it replaced put back
// afterwards (Wine's own exefile class, or its .pdf type, among them).
class PlantedDefault {
 public:
  PlantedDefault(HKEY root, const std::wstring& key, const std::wstring& value) : root_(root), path_(key) {
    wchar_t old[1024] = {};
    DWORD size = sizeof(old);
    if (RegGetValueW(root_, path_.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type_, old,
                     &size) == ERROR_SUCCESS) {
      old_ = std::wstring(old);
    }
    planted_ = RegSetKeyValueW(root_, path_.c_str(), nullptr, REG_SZ, value.c_str(),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  ~PlantedDefault() {
    if (old_) {
      RegSetKeyValueW(root_, path_.c_str(), nullptr, type_, old_->c_str(),
                      static_cast<DWORD>((old_->size() + 1) * sizeof(wchar_t)));
    } else {
      RegDeleteTreeW(root_, path_.c_str());
    }
  }
  bool planted() const { return planted_; }

 private:
  HKEY root_;
  std::wstring path_;
  DWORD type_ = REG_SZ;
  std::optional<std::wstring> old_;
  bool planted_ = false;
};

// A command planted under root\<key>\shell\open\command.
class PlantedCommand : public PlantedDefault {
 public:
  PlantedCommand(HKEY root, const std::wstring& key, const std::wstring& command)
      : PlantedDefault(root, key + L"\\shell\\open\\command", command) {}
};

std::wstring SystemFile(const wchar_t* name) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\" + name;
}

bool Exists(const std::filesystem::path& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The target receives "<full path in quotes>", then a blank and the parameters when there are any:
// what the shell's "open" gave it.
TEST(TargetStart, CommandLineIsTheQuotedFullPathAndTheParameters) {
  Installation install;
  install.WriteConfig();
  const std::string program = "\"" + rig::ToUtf8((install.folder() / install.progName()).wstring()) + "\"";
  struct Case {
    std::wstring commandLine;
    std::string received;
  };
  size_t n = 0;
  for (const Case& c : {Case{Link(install, L"open?id=7"), program + " \"open?id=7\""}, Case{L"", program},
                        Case{L"-x  \"a b\" ", program + " -x  \"a b\" "}}) {
    EXPECT_EQ(install.RunLauncher(c.commandLine).exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(++n));
    EXPECT_EQ(install.Record().starts.back().commandLine, c.received) << rig::ToUtf8(c.commandLine);
    EXPECT_EQ(rig::FromUtf8(install.Record().starts.back().workingFolder), install.folder().wstring());
    install.EndClients();
  }
}

// Windows looks the class of a .exe up in the merged HKEY_CLASSES_ROOT, where the user's own
// Software\Classes comes first; Wine merges nothing, so both places are planted.
TEST(TargetStart, AnExefileCommandPlantedInTheClassesIsNeverRun) {
  Installation install;
  install.WriteConfig();
  const std::filesystem::path marker = install.folder() / L"planted.txt";
  const std::wstring command = L"\"" + SystemFile(L"cmd.exe") + L"\" /c echo planted>\"" + marker.wstring() + L"\"";
  rig::ScratchRegistryKey userClass(HKEY_CURRENT_USER, L"Software\\Classes\\exefile");
  PlantedCommand user(HKEY_CURRENT_USER, L"Software\\Classes\\exefile", command);
  PlantedCommand merged(HKEY_CLASSES_ROOT, L"exefile", command);
  ASSERT_TRUE(user.planted() && merged.planted());
  EXPECT_EQ(install.RunLauncher(Link(install, L"open?id=7")).exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(install.Record().starts.at(0).arguments, std::vector<std::string>{"open?id=7"});
  Sleep(500);
  EXPECT_FALSE(Exists(marker));
}

// Each name would reach a copy of the target elsewhere, a script, or a document whose class names a
// program: none of them starts anything. The document's class is planted in the user's classes, and
// in the merged root too, which Wine does not merge.
TEST(TargetStart, ProgNameThatIsNoBareProgramNameStartsNothing) {
  Installation install;
  const std::wstring leaf = install.folder().filename().wstring();
  std::filesystem::create_directories(install.folder() / L"sub");
  std::filesystem::copy_file(install.folder() / install.progName(), install.folder() / L"sub" / install.progName());
  rig::WriteFile(install.folder() / L"Start.bat", "@echo ran>\"%~dp0script-ran.txt\"\r\n");
  rig::WriteFile(install.folder() / L"Start.CMD", "@echo ran>\"%~dp0script-ran.txt\"\r\n");
  rig::WriteFile(install.folder() / L"Manual.pdf", "%PDF-1.4\n%%EOF\n");
  const std::wstring documentClass = rig::UniqueName(L"PorticoTest.Document");
  const std::wstring opener =
      L"\"" + SystemFile(L"cmd.exe") + L"\" /c echo ran>\"" + (install.folder() / L"script-ran.txt").wstring() + L"\"";
  rig::ScratchRegistryKey userClass(HKEY_CURRENT_USER, L"Software\\Classes\\" + documentClass);
  rig::ScratchRegistryKey mergedClass(HKEY_CLASSES_ROOT, documentClass);
  PlantedDefault userType(HKEY_CURRENT_USER, L"Software\\Classes\\.pdf", documentClass);
  PlantedDefault mergedType(HKEY_CLASSES_ROOT, L".pdf", documentClass);
  PlantedCommand user(HKEY_CURRENT_USER, L"Software\\Classes\\" + documentClass, opener);
  PlantedCommand merged(HKEY_CLASSES_ROOT, documentClass, opener);
  ASSERT_TRUE(userType.planted() && mergedType.planted() && user.planted() && merged.planted());
  for (const std::wstring& name :
       {L"sub\\" + install.progName(), L"sub/" + install.progName(), L"..\\" + leaf + L"\\" + install.progName(),
        std::wstring(L"Start.bat"), std::wstring(L"Start.CMD"), std::wstring(L"Manual.pdf")}) {
    install.WriteRawConfig("<Product><ProgName>" + rig::ToUtf8(name) + "</ProgName><Protocol>" +
                           rig::ToUtf8(install.scheme()) + "</Protocol></Product>");
    rig::DebuggeeResult result = install.RunLauncher(Link(install, L"a"));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(rig::WaitForProcess(install.progName(), 1500), 0u) << rig::ToUtf8(name);
    EXPECT_FALSE(Exists(install.folder() / L"script-ran.txt")) << rig::ToUtf8(name);
    install.EndClients();
  }
}

// The page that wrote the link cannot drop an argument the vendor configured by mentioning it.
TEST(TargetStart, ArgumentNamedInsideTheLinkIsStillAppended) {
  Installation install;
  install.WriteConfig("<Args><Item Name=\"--safe-mode\" Value=\"true\"/></Args>");
  EXPECT_EQ(install.RunLauncher(Link(install, L"open?id=7&note=--safe-mode")).exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(install.Record().starts.at(0).arguments,
            (std::vector<std::string>{"open?id=7&note=--safe-mode", "--safe-mode"}));
}

}  // namespace
