// What the launch settings and ReadConfigText take out of ProductConfig.xml.
#include <gtest/gtest.h>

#include "ConfigTestSupport.h"

using configtest::BuildFromText;

namespace {

struct Filled {
  bool read = false;
  ProductConfig config;
  std::vector<LaunchArgument> arguments;
};

Filled Fill(const std::string& xml, ProductConfig start = {}, std::vector<LaunchArgument> arguments = {}) {
  auto built = BuildFromText(xml);
  EXPECT_EQ(built.boxes, 0);
  Filled filled{false, std::move(start), std::move(arguments)};
  filled.read = built.store->FillProductConfig(filled.config, filled.arguments);
  return filled;
}

std::string Repeat(const std::string& piece, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(ConfigSettings, AnyRootNameAndSettingNamesInAnyCaseWithTheLastOneWinning) {
  auto filled = Fill(
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"GBK\"?>\n"
      "<Whatever><PROGNAME>First.exe</PROGNAME><progname>Second.exe</progname><ProgNameX>Wrong.exe</ProgNameX>"
      "<protocol>demo</protocol><PIPE>\\\\.\\pipe\\demo</PIPE><Shortcut_CN>演示</Shortcut_CN>"
      "<SHORTCUT_EN>Demo</SHORTCUT_EN><shortcut_new_cn>新演示</shortcut_new_cn>"
      "<Shortcut_New_En>New Demo</Shortcut_New_En><Other>x</Other></Whatever>");
  EXPECT_TRUE(filled.read);
  EXPECT_EQ(filled.config.ProgName, L"Second.exe");
  EXPECT_EQ(filled.config.Protocol, L"demo");
  EXPECT_EQ(filled.config.Pipe, L"\\\\.\\pipe\\demo");
  EXPECT_EQ(filled.config.shortcut_cn, L"演示");
  EXPECT_EQ(filled.config.shortcut_en, L"Demo");
  EXPECT_EQ(filled.config.shortcut_new_cn, L"新演示");
  EXPECT_EQ(filled.config.shortcut_new_en, L"New Demo");
}

TEST(ConfigSettings, OptionalSettingsAreReadByTheSameRules) {
  auto filled = Fill("<r><updatepublickey>RWQ key</updatepublickey><LOGFILE>%ProgramData%\\x.log</LOGFILE>"
                     "<Language>en-US</Language><Language></Language></r>");
  EXPECT_EQ(filled.config.UpdatePublicKey, L"RWQ key");
  EXPECT_EQ(filled.config.LogFile, L"%ProgramData%\\x.log");
  EXPECT_EQ(filled.config.Language, L"en-US");
  EXPECT_TRUE(Fill("<r><ProgName>a.exe</ProgName></r>").config.LogFile.empty());
}

TEST(ConfigSettings, ReadConfigTextTakesOnlyTheFirstElementNamedExactly) {
  auto built = BuildFromText(
      "<r><progname>lower.exe</progname><ProgName>First.exe</ProgName><ProgName>Second.exe</ProgName></r>");
  std::string out;
  EXPECT_TRUE(built.store->ReadConfigText("ProgName", out));
  EXPECT_EQ(out, "First.exe");

  for (const char* xml : {"<r><PROGNAME>Other.exe</PROGNAME></r>", "<r><ProgName/><ProgName>B.exe</ProgName></r>",
                          "<!-- no root element -->"}) {
    auto without = BuildFromText(xml);
    ASSERT_TRUE(without.store->loaded) << xml;
    std::string kept = "kept";
    EXPECT_FALSE(without.store->ReadConfigText("ProgName", kept)) << xml;
    EXPECT_EQ(kept, "kept");
  }
}

TEST(ConfigSettings, ArgumentsFollowTheExactArgsItemValueAndNameRules) {
  auto filled = Fill(
      "<r><Item Value=\"true\" Name=\"--outside\"/>"
      "<args><Item Value=\"true\" Name=\"--small-args\"/></args>"
      "<Args>"
      "<Item Value=\"true\" Name=\"--one\"/>"
      "<Item Value=\"True\" Name=\"--capital\"/><Item Value=\"TRUE\" Name=\"--upper\"/>"
      "<Item Value=\"1\" Name=\"--digit\"/><Item Value=\"yes\" Name=\"--yes\"/>"
      "<Item Value=\" true\" Name=\"--blank\"/><Item Value=\"\" Name=\"--empty\"/>"
      "<Item Name=\"--no-value\"/><Item Value=\"true\"/><Item Value=\"true\" Name=\"\"/>"
      "<item Value=\"true\" Name=\"--small-item\"/><Other Value=\"true\" Name=\"--other\"/>"
      "<Item Value=\"true\" Name=\"--two\">content is not read</Item>"
      "<Item Value=\"true\" Name=\"--one\"/>"
      "<Group><Item Value=\"true\" Name=\"--nested\"/></Group>"
      "<Item Value=\"true\" Name=\"--three\"><Item Value=\"true\" Name=\"--inner\"/></Item>"
      "<Item Name=\"参数 x=&quot;1&quot;\" Value=\"true\"/>"
      "</Args>"
      "<Args><Item Value=\"true\" Name=\"--second-args\"/></Args></r>",
      {}, {L"--already"});
  EXPECT_TRUE(filled.read);
  EXPECT_EQ(filled.arguments,
            (std::vector<LaunchArgument>{L"--already", L"--one", L"--two", L"--one", L"--three", L"参数 x=\"1\""}));
}

TEST(ConfigSettings, ValueIsTheFirstChildNodeOnlyWhenItIsText) {
  ProductConfig start;
  start.shortcut_cn = L"before";
  auto filled = Fill(
      "<r><ProgName>  Spaced.exe\t</ProgName>"
      "<Protocol>demo</Protocol><Protocol/><Protocol></Protocol><Protocol>  \n </Protocol>"
      "<Pipe><![CDATA[\\\\.\\pipe\\<x>]]></Pipe>"
      "<shortcut_cn><!-- note -->Later</shortcut_cn>"
      "<shortcut_en>Old</shortcut_en><shortcut_en><b>x</b>New</shortcut_en>"
      "<shortcut_new_cn>Head<b/>Tail</shortcut_new_cn>"
      "<shortcut_new_en>A &amp; B &#x4E2D;</shortcut_new_en></r>",
      start);
  EXPECT_EQ(filled.config.ProgName, L"  Spaced.exe\t");
  EXPECT_EQ(filled.config.Protocol, L"demo");
  EXPECT_EQ(filled.config.Pipe, L"\\\\.\\pipe\\<x>");
  EXPECT_EQ(filled.config.shortcut_cn, L"before");
  EXPECT_EQ(filled.config.shortcut_en, L"Old");
  EXPECT_EQ(filled.config.shortcut_new_cn, L"Head");
  EXPECT_EQ(filled.config.shortcut_new_en, L"A & B 中");
}

TEST(ConfigSettings, NoRootElementTouchesNeitherRecordNorList) {
  ProductConfig start;
  start.ProgName = L"kept.exe";
  auto filled = Fill("<?xml version=\"1.0\"?><!-- only a comment -->", start, {L"--kept"});
  EXPECT_FALSE(filled.read);
  EXPECT_EQ(filled.config.ProgName, L"kept.exe");
  EXPECT_EQ(filled.arguments, std::vector<LaunchArgument>{L"--kept"});
}

// A text that does not fit its room is skipped whole, never cut.
TEST(ConfigSettings, TextTooLongForItsRoomIsTreatedAsAbsent) {
  const std::string fits(259, 'p');
  const std::string tooLong(260, 'x');
  const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units
  auto filled =
      Fill("<r><Protocol>" + fits + "</Protocol><Pipe>short</Pipe><Pipe>" + tooLong + "</Pipe>" + "<shortcut_cn>" +
           Repeat(emoji, 129) + "</shortcut_cn>" + "<shortcut_en>ok</shortcut_en><shortcut_en>" + Repeat(emoji, 130) +
           "</shortcut_en>" + "<Args><Item Value=\"true\" Name=\"" + fits + "\"/><Item Value=\"true\" Name=\"" +
           tooLong + "\"/></Args></r>");
  EXPECT_EQ(filled.config.Protocol, std::wstring(259, L'p'));
  EXPECT_EQ(filled.config.Pipe, L"short");
  EXPECT_EQ(filled.config.shortcut_cn.size(), 258u);
  EXPECT_EQ(filled.config.shortcut_en, L"ok");
  EXPECT_EQ(filled.arguments, std::vector<LaunchArgument>{std::wstring(259, L'p')});

  // ProgName's room is 512 ANSI bytes; here the code page is 1252, where é is one byte (two in UTF-8).
  ASSERT_EQ(GetACP(), 1252u);
  struct Case {
    std::string progName;
    bool taken;
  };
  for (const Case& c : {Case{std::string(511, 'n'), true}, Case{std::string(512, 'n'), false},
                        Case{Repeat("\xC3\xA9", 511), true}, Case{Repeat("\xC3\xA9", 512), false}}) {
    auto built = BuildFromText("<r><ProgName>" + c.progName + "</ProgName></r>");
    std::string out;
    EXPECT_EQ(built.store->ReadConfigText("ProgName", out), c.taken) << c.progName.size();
    EXPECT_EQ(out.size(), c.taken ? 511u : 0u);
  }
}

// The example that a release ships beside Portico.exe, comments and all; the build copies it here.
TEST(ConfigSettings, ShippedExampleFillsEveryLaunchSetting) {
  auto filled = Fill(rig::ReadFile(rig::BinaryFolder() / L"ExampleProductConfig.xml"));
  EXPECT_TRUE(filled.read);
  EXPECT_EQ(filled.config.ProgName, L"ExampleClient.exe");
  EXPECT_EQ(filled.config.Protocol, L"example");
  EXPECT_EQ(filled.config.Pipe, L"ExampleClientPipe");
  EXPECT_EQ(filled.config.shortcut_cn, L"示例客户端");
  EXPECT_EQ(filled.config.shortcut_en, L"Example Client");
  EXPECT_EQ(filled.config.shortcut_new_cn, L"示例客户端");
  EXPECT_EQ(filled.config.shortcut_new_en, L"Example Client");
  EXPECT_EQ(filled.arguments, std::vector<LaunchArgument>{L"--from-launcher"});
}

}  // namespace
