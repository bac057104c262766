// Where ProductConfig.xml is found and what a file that cannot be loaded gives: in process for the
// rules, and end to end through ConfigProbe for the real box and the real module path.
#include <gtest/gtest.h>

#include "ConfigFile.h"
#include "ConfigTestSupport.h"
#include "DialogHelper.h"

namespace fs = std::filesystem;
using configtest::BuildFor;
using configtest::CopyProbe;
using configtest::ProbeReport;

namespace {

const std::string kGood = "<Product><ProgName>Beside.exe</ProgName></Product>";
const std::string kAbove = "<Product><ProgName>Above.exe</ProgName></Product>";
const std::string kBroken = "<Product><ProgName>Broken.exe</ProgName>";

std::wstring ProgNameOf(ConfigStore& store) {
  ProductConfig config;
  std::vector<LaunchArgument> arguments;
  store.FillProductConfig(config, arguments);
  return config.ProgName;
}

TEST(ConfigLocation, FileOneFolderUpIsLoadedWithoutAReport) {
  rig::ScratchFolder install;
  rig::WriteFile(install.path() / L"ProductConfig.xml", kAbove);
  auto built = BuildFor(install.path() / L"bin" / L"Portico.exe");
  EXPECT_TRUE(built.store->loaded);
  EXPECT_EQ(built.boxes, 0);
  EXPECT_EQ(ProgNameOf(*built.store), L"Above.exe");
}

TEST(ConfigLocation, BrokenFileBesideIsReportedAndNotLookedForAbove) {
  rig::ScratchFolder install;
  rig::WriteFile(install.path() / L"ProductConfig.xml", kAbove);
  for (const std::string& content : {kBroken, std::string()}) {
    rig::WriteFile(install.path() / L"bin" / L"ProductConfig.xml", content);
    auto built = BuildFor(install.path() / L"bin" / L"Portico.exe");
    EXPECT_FALSE(built.store->loaded);
    EXPECT_EQ(built.boxes, 1);
    EXPECT_EQ(ProgNameOf(*built.store), L"");
  }
}

TEST(ConfigLocation, MissingAtBothPlacesIsReportedAsNotFound) {
  rig::ScratchFolder install;
  fs::path launcher = install.path() / L"bin" / L"Portico.exe";
  auto file = FindConfigFile(launcher.wstring());
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(*file, (install.path() / L"ProductConfig.xml").wstring());
  tinyxml2::XMLDocument document;
  EXPECT_EQ(LoadConfigFile(*file, document), tinyxml2::XML_ERROR_FILE_NOT_FOUND);

  auto built = BuildFor(launcher);
  EXPECT_FALSE(built.store->loaded);
  EXPECT_EQ(built.boxes, 1);
  EXPECT_TRUE(built.store->chinese);
}

TEST(ConfigLocation, LauncherInADriveRootLoadsThePathBesideItAndReportsIt) {
  ASSERT_EQ(GetFileAttributesW(L"C:\\ProductConfig.xml"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FindConfigFile(L"C:\\Portico.exe"), std::optional<std::wstring>(L"C:\\ProductConfig.xml"));
  EXPECT_EQ(BuildFor(L"C:\\Portico.exe").boxes, 1);
}

TEST(ConfigLocation, ModulePathWithoutAFolderLoadsNothingAndReportsNothing) {
  for (const wchar_t* launcher : {L"", L"Portico.exe"}) {
    auto built = BuildFor(launcher);
    EXPECT_FALSE(built.store->loaded);
    EXPECT_EQ(built.boxes, 0);
    EXPECT_TRUE(built.store->chinese);
  }
}

TEST(ConfigLocation, FolderOutsideTheAnsiCodePageIsLoaded) {
  ASSERT_EQ(GetACP(), 1252u);
  rig::ScratchFolder install(L"安装目录 产品");
  rig::WriteFile(install.path() / L"ProductConfig.xml", kGood);
  auto built = BuildFor(install.path() / L"Portico.exe");
  EXPECT_TRUE(built.store->loaded);
  EXPECT_EQ(built.boxes, 0);
  EXPECT_EQ(ProgNameOf(*built.store), L"Beside.exe");
}

// The path of the file beside the launcher does not fit 259 characters while the launcher's does:
// the file is there but cannot be loaded, which is reported; the one above, whoever wrote it, is
// not read. With no file beside the launcher, the one above is loaded; when its path does not fit
// either, nothing is loaded and the failure is reported. Neither path is ever cut.
TEST(ConfigLocation, FilePathLongerThan259CharactersIsALoadFailureNeverAReasonToLookAbove) {
  rig::ScratchFolder install;
  fs::path above = install.path();
  while (above.wstring().size() < 230) above /= L"d";
  above /= std::wstring(240 - above.wstring().size(), L'a');
  ASSERT_EQ(above.wstring().size(), 241u);  // its file's path has 259 characters
  fs::path beside = above / L"b";           // the launcher's path has 255 characters, its file's 261
  rig::WriteFile(above / L"ProductConfig.xml", kAbove);
  rig::WriteFile(beside / L"ProductConfig.xml", kGood);

  auto unreadable = BuildFor(beside / L"Portico.exe");
  EXPECT_FALSE(unreadable.store->loaded);
  EXPECT_EQ(unreadable.boxes, 1);
  EXPECT_EQ(ProgNameOf(*unreadable.store), L"");

  fs::path empty = above / L"e";  // the same length, with nothing beside the launcher
  fs::create_directories(empty);
  auto built = BuildFor(empty / L"Portico.exe");
  EXPECT_TRUE(built.store->loaded);
  EXPECT_EQ(built.boxes, 0);
  EXPECT_EQ(ProgNameOf(*built.store), L"Above.exe");

  fs::path deeper = empty / L"c";  // the file above has 261 characters now
  fs::create_directories(deeper);
  auto none = BuildFor(deeper / L"Portico.exe");
  EXPECT_FALSE(none.store->loaded);
  EXPECT_EQ(none.boxes, 1);
}

void ExpectTheLoadFailureBoxAndGoOn(const fs::path& launcher, int button) {
  rig::Debuggee probe(launcher, L"");
  ASSERT_NE(probe.pid(), 0u);
  auto box = rig::WaitForMessageBox(probe.pid());
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, L"启动器加载配置文件失败");
  EXPECT_EQ(box->caption, L"错误");
  EXPECT_EQ(box->owner, nullptr);
  ASSERT_EQ(box->buttons.size(), 2u);
  EXPECT_EQ(box->buttons[0].id, IDOK);
  EXPECT_EQ(box->buttons[1].id, IDCANCEL);
  ASSERT_TRUE(rig::PressButton(*box, button));
  auto result = probe.Wait();
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u);
  auto report = ProbeReport(result);
  EXPECT_EQ(report["loaded"], "0");
  EXPECT_EQ(report["chinese"], "1");
  EXPECT_EQ(report["filled"], "0");
}

// Waits for a probe that is to show no box; a box it shows anyway is answered so the test ends.
rig::DebuggeeResult ExpectNoBoxAndWait(rig::Debuggee& probe) {
  EXPECT_NE(probe.pid(), 0u);
  bool noBox = rig::NoMessageBoxFor(probe.pid(), 1000);
  EXPECT_TRUE(noBox);
  if (!noBox) {
    if (auto box = rig::WaitForMessageBox(probe.pid(), 1000)) rig::PressButton(*box, IDOK);
  }
  return probe.Wait();
}

TEST(ConfigProbe, BrokenFileBesideTheLauncherShowsTheBoxAndTheLaunchGoesOn) {
  rig::ScratchFolder install;
  rig::WriteFile(install.path() / L"ProductConfig.xml", kAbove);
  rig::WriteFile(install.path() / L"bin" / L"ProductConfig.xml", kBroken);
  ExpectTheLoadFailureBoxAndGoOn(CopyProbe(install.path() / L"bin", L"Launcher.exe"), IDCANCEL);
}

TEST(ConfigProbe, FileMissingAtBothPlacesShowsTheBox) {
  rig::ScratchFolder install;
  ExpectTheLoadFailureBoxAndGoOn(CopyProbe(install.path(), L"Launcher.exe"), IDOK);
}

TEST(ConfigProbe, FileOneFolderUpIsLoadedWithNoBox) {
  rig::ScratchFolder install;
  rig::WriteFile(install.path() / L"ProductConfig.xml", kAbove);

  rig::Debuggee probe(CopyProbe(install.path() / L"bin", L"Launcher.exe"), L"");
  auto report = ProbeReport(ExpectNoBoxAndWait(probe));
  EXPECT_EQ(report["loaded"], "1");
  EXPECT_EQ(report["filled"], "1");
  EXPECT_EQ(report["ProgName"], "Above.exe");
}

TEST(ConfigProbe, ChineseInstallationFolderIsLoadedUnderAWesternCodePage) {
  rig::ScratchFolder install(L"安装目录");
  rig::WriteFile(install.path() / L"ProductConfig.xml", kGood);
  rig::Debuggee probe(CopyProbe(install.path(), L"启动器.exe"), L"");
  auto report = ProbeReport(ExpectNoBoxAndWait(probe));
  ASSERT_EQ(report["acp"], "1252");
  EXPECT_EQ(report["loaded"], "1");
  EXPECT_EQ(report["ProgName"], "Beside.exe");
}

}  // namespace
