// Hostile ProductConfig.xml files through the real launcher: each has its defined outcome (the
// load-failure box or none, the settings read or absent) and none crashes the launcher.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "DialogHelper.h"
#include "Installation.h"

namespace {

const std::wstring kLoadFailureText = L"\x542F\x52A8\x5668\x52A0\x8F7D\x914D\x7F6E\x6587\x4EF6\x5931\x8D25";

struct ConfigOutcome {
  bool box = false;
  std::wstring boxText;
  rig::DebuggeeResult result;
  std::optional<rig::ClientStart> start;  // the target's start, when there was one
};

std::string ValidConfig(const rig::Installation& install, const std::string& extra = "") {
  return "<Product><ProgName>" + rig::ToUtf8(install.progName()) + "</ProgName><Protocol>" +
         rig::ToUtf8(install.scheme()) + "</Protocol>" + extra + "</Product>";
}

// Runs the launcher over a link with the given file as its configuration, answering a box if one
// comes, and notes whether the target started.
ConfigOutcome RunWithConfig(rig::Installation& install, const std::string& bytes) {
  install.WriteRawConfig(bytes);
  ConfigOutcome outcome;
  rig::Debuggee launcher(install.launcher(), L"\"" + install.scheme() + L"://open?id=7\"");
  if (auto box = rig::WaitForMessageBox(launcher.pid(), 3000)) {
    outcome.box = true;
    outcome.boxText = box->text;
    rig::PressButton(*box, IDOK);
  }
  outcome.result = launcher.Wait();
  // After the box the launch goes on without settings, and a start would follow at once.
  if (install.WaitForStarts(1, outcome.box ? 1000 : 5000)) {
    outcome.start = install.Record().starts.back();
  }
  install.EndClients();
  return outcome;
}

void ExpectNoCrash(const ConfigOutcome& outcome, const std::string& what) {
  EXPECT_EQ(outcome.result.crashCode, 0u) << what;
  EXPECT_EQ(outcome.result.exitCode, 0u) << what;
}

// A file TinyXML2 refuses: the load-failure box, then the launch goes on without settings, so no
// target starts.
void ExpectLoadFailure(const std::string& what, const std::string& bytes) {
  rig::Installation install;
  const ConfigOutcome outcome = RunWithConfig(install, bytes);
  ExpectNoCrash(outcome, what);
  EXPECT_TRUE(outcome.box) << what;
  EXPECT_EQ(outcome.boxText, kLoadFailureText) << what;
  EXPECT_FALSE(outcome.start) << what;
}

// A file that loads: no box, and the target starts with the link's payload.
void ExpectLoadedAndStarted(rig::Installation& install, const std::string& what, const std::string& bytes,
                            const std::vector<std::string>& arguments = {"open?id=7"}) {
  const ConfigOutcome outcome = RunWithConfig(install, bytes);
  ExpectNoCrash(outcome, what);
  EXPECT_FALSE(outcome.box) << what << ": " << rig::ToUtf8(outcome.boxText);
  ASSERT_TRUE(outcome.start) << what;
  EXPECT_EQ(outcome.start->arguments, arguments) << what;
}

TEST(HostileConfig, EmptyAndNonXmlFilesShowTheLoadFailureBox) {
  ExpectLoadFailure("empty file", "");
  ExpectLoadFailure("blanks only", "   \r\n\t ");
  ExpectLoadFailure("plain text", "ProgName=SampleClient.exe\n");
  ExpectLoadFailure("binary bytes", std::string("\x00\x01\xFF\xFE\x80<\x00>", 8));
  ExpectLoadFailure("unclosed root", "<Product><ProgName>x.exe</ProgName>");
  ExpectLoadFailure("two roots closed wrong", "<a></b>");
  ExpectLoadFailure("unterminated comment", "<!-- <Product/>");
}

TEST(HostileConfig, TenThousandLevelsOfNestingShowTheLoadFailureBox) {
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<n>";
  for (int i = 0; i < 10000; ++i) deep += "</n>";
  ExpectLoadFailure("10 000 levels", "<Product>" + deep + "</Product>");
}

TEST(HostileConfig, TenMegabyteFileIsRead) {
  rig::Installation install;
  const std::string filler = "<Padding>" + std::string(10 * 1024 * 1024, 'p') + "</Padding>";
  ExpectLoadedAndStarted(install, "10 MB file", ValidConfig(install, filler));
}

TEST(HostileConfig, ByteOrderMarks) {
  {
    rig::Installation install;
    const ConfigOutcome outcome = RunWithConfig(install, "\xEF\xBB\xBF" + ValidConfig(install));
    ExpectNoCrash(outcome, "UTF-8 BOM");
    EXPECT_FALSE(outcome.box);
    ASSERT_TRUE(outcome.start);
    EXPECT_EQ(outcome.start->arguments, std::vector<std::string>{"open?id=7"});
  }
  {
    // TinyXML2 reads UTF-8 only: a UTF-16 file with its mark is no XML to it.
    rig::Installation install;
    const std::string utf8 = ValidConfig(install);
    std::string utf16 = "\xFF\xFE";
    for (char c : utf8) utf16 += std::string{c, '\0'};
    const ConfigOutcome outcome = RunWithConfig(install, utf16);
    ExpectNoCrash(outcome, "UTF-16 LE BOM");
    EXPECT_TRUE(outcome.box);
    EXPECT_FALSE(outcome.start);
  }
  {
    rig::Installation install;
    std::string utf16 = "\xFE\xFF";
    for (char c : ValidConfig(install)) utf16 += std::string{'\0', c};
    const ConfigOutcome outcome = RunWithConfig(install, utf16);
    ExpectNoCrash(outcome, "UTF-16 BE BOM");
    EXPECT_TRUE(outcome.box);
    EXPECT_FALSE(outcome.start);
  }
  {
    rig::Installation install;
    // TinyXML2 skips one mark and passes over the second as text before the root: it loads.
    const ConfigOutcome outcome = RunWithConfig(install, "\xEF\xBB\xBF\xEF\xBB\xBF" + ValidConfig(install));
    ExpectNoCrash(outcome, "two UTF-8 BOMs");
    EXPECT_FALSE(outcome.box);
    EXPECT_TRUE(outcome.start);
  }
  {
    rig::Installation install;
    const ConfigOutcome outcome = RunWithConfig(install, "\xEF\xBB");
    ExpectNoCrash(outcome, "a cut BOM alone");
    EXPECT_TRUE(outcome.box);
    EXPECT_FALSE(outcome.start);
  }
}

TEST(HostileConfig, OverlongValuesAreTreatedAsAbsent) {
  {
    // A program name past its room is never cut to another name: nothing starts, and no box.
    rig::Installation install;
    const std::string xml = "<Product><ProgName>" + std::string(300, 'p') + ".exe</ProgName><Protocol>" +
                            rig::ToUtf8(install.scheme()) + "</Protocol></Product>";
    const ConfigOutcome outcome = RunWithConfig(install, xml);
    ExpectNoCrash(outcome, "overlong ProgName");
    EXPECT_FALSE(outcome.box);
    EXPECT_FALSE(outcome.start);
  }
  {
    // An overlong extra argument is dropped; a good one after it still arrives.
    rig::Installation install;
    const std::string args = "<Args><Item Name=\"" + std::string(100000, 'a') +
                             "\" Value=\"true\"/><Item Name=\"-user\" Value=\"true\"/></Args>";
    ExpectLoadedAndStarted(install, "overlong argument", ValidConfig(install, args), {"open?id=7", "-user"});
  }
  {
    // Overlong pipe and shortcut names touch nothing on the start road.
    rig::Installation install;
    const std::string big(1 << 20, 'x');
    const std::string extra =
        "<Pipe>" + big + "</Pipe><shortcut_cn>" + big + "</shortcut_cn><shortcut_en>" + big + "</shortcut_en>";
    ExpectLoadedAndStarted(install, "overlong pipe and shortcut names", ValidConfig(install, extra));
  }
}

}  // namespace
