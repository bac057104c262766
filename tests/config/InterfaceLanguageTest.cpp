// The interface language from HKEY_CURRENT_USER\SOFTWARE\<bare program name>\Language, with real
// scratch keys; each test names its program uniquely so that its key is its own.
#include <gtest/gtest.h>

#include <optional>

#include "ConfigTestSupport.h"

using configtest::BuildFor;
using configtest::BuildFromText;
using configtest::Utf8;

namespace {

// SOFTWARE\<bare>\Language and its parent, removed after use.
struct LanguageKey {
  explicit LanguageKey(const std::wstring& bare)
      : program(HKEY_CURRENT_USER, L"SOFTWARE\\" + bare),
        language(HKEY_CURRENT_USER, L"SOFTWARE\\" + bare + L"\\Language") {}
  rig::ScratchRegistryKey program;
  rig::ScratchRegistryKey language;
};

bool ChineseFor(const std::string& progName) {
  return BuildFromText("<Product><ProgName>" + progName + "</ProgName></Product>").store->chinese;
}

// A program of its own whose Language key has the given default value: a string (REG_SZ), raw
// bytes (REG_BINARY: the type is not looked at), or none.
bool ChineseWithString(const std::wstring& value) {
  std::wstring bare = rig::UniqueName(L"Prog");
  LanguageKey key(bare);
  EXPECT_TRUE(key.language.SetString(L"", value));
  return ChineseFor(Utf8(bare) + ".exe");
}

bool ChineseWithBytes(std::optional<std::string> bytes) {
  std::wstring bare = rig::UniqueName(L"Prog");
  LanguageKey key(bare);
  if (bytes) {
    EXPECT_TRUE(key.language.SetRaw(L"", REG_BINARY, bytes->data(), static_cast<DWORD>(bytes->size())));
  }
  return ChineseFor(Utf8(bare) + ".exe");
}

TEST(InterfaceLanguage, TagAnywhereInAnyCaseWithZhCnAskedFirst) {
  struct Case {
    const wchar_t* value;
    bool chinese;
  };
  for (const Case& c : {Case{L"en-US", false}, Case{L"EN-us", false}, Case{L"lang=En-Us;", false}, Case{L"zh-CN", true},
                        Case{L"ZH-cn", true}, Case{L"en-US,zh-CN", true}, Case{L"zh-cn en-us", true},
                        Case{L"en_US", true}, Case{L"fr-FR", true}, Case{L"", true}}) {
    EXPECT_EQ(ChineseWithString(c.value), c.chinese) << Utf8(c.value);
  }
}

TEST(InterfaceLanguage, MissingKeyOrDefaultValueMeansChinese) {
  EXPECT_TRUE(ChineseFor(Utf8(rig::UniqueName(L"Prog")) + ".exe"));
  EXPECT_TRUE(ChineseWithBytes(std::nullopt));
  std::wstring bare = rig::UniqueName(L"Prog");
  LanguageKey key(bare);
  ASSERT_TRUE(key.language.SetString(L"Language", L"en-US"));
  EXPECT_TRUE(ChineseFor(Utf8(bare) + ".exe"));
}

// The value has 260 bytes of room; its type is not looked at, and it need not end in a zero.
TEST(InterfaceLanguage, ValueRoomIs260BytesAndAnUnterminatedValueIsReadWithinIt) {
  // 259 characters and the terminator fill the room; one more does not fit, and the value is not read.
  EXPECT_FALSE(ChineseWithString(std::wstring(254, L'x') + L"en-US"));
  EXPECT_TRUE(ChineseWithString(std::wstring(255, L'x') + L"en-US"));
  EXPECT_TRUE(ChineseWithString(L"en-US" + std::wstring(300, L'x')));
  // Exactly 260 bytes with no terminator: the tag in its last bytes is found, and the search ends there.
  EXPECT_FALSE(ChineseWithBytes(std::string(255, 'x') + "en-US"));
  EXPECT_TRUE(ChineseWithBytes(std::string(256, 'x') + "en-US"));
  // A zero ends the text, as for any string: what follows it is not searched.
  EXPECT_TRUE(ChineseWithBytes(std::string("x\0en-US", 7)));
}

TEST(InterfaceLanguage, BareNameIsProgNameWithoutItsLastFourBytes) {
  LanguageKey shortName(L"Q7z");
  ASSERT_TRUE(shortName.language.SetString(L"", L"en-US"));
  EXPECT_FALSE(ChineseFor("Q7z"));

  std::wstring bare = rig::UniqueName(L"Prog");
  LanguageKey key(bare);
  ASSERT_TRUE(key.language.SetString(L"", L"en-US"));
  EXPECT_FALSE(ChineseFor(Utf8(bare) + ".exe"));
  EXPECT_TRUE(ChineseFor(Utf8(bare) + ".exe.bak"));
}

// Without a usable name the key is "SOFTWARE\" + "" + "\Language", and it is still looked up.
TEST(InterfaceLanguage, NoUsableProgNameLooksUpTheKeyWithAnEmptyName) {
  rig::ScratchRegistryKey empty(HKEY_CURRENT_USER, L"SOFTWARE\\\\Language");
  ASSERT_TRUE(empty.SetString(L"", L"en-US"));
  EXPECT_FALSE(BuildFromText("<Product/>").store->chinese);
  EXPECT_FALSE(BuildFromText("<Product><PROGNAME>Other.exe</PROGNAME></Product>").store->chinese);
  EXPECT_FALSE(ChineseFor("abcd"));

  rig::ScratchFolder nowhere;
  auto missing = BuildFor(nowhere.path() / L"Portico.exe");
  EXPECT_EQ(missing.boxes, 1);
  EXPECT_FALSE(missing.store->chinese);

  LanguageKey longest(std::wstring(127, L'n'));
  ASSERT_TRUE(longest.language.SetString(L"", L"zh-CN"));
  EXPECT_TRUE(ChineseFor(std::string(127, 'n') + ".exe"));
}

// A bare name too long for code page 936's room of 127 characters names no key at all: neither the
// key of an empty name nor SOFTWARE\Language, which belongs to no product, is read.
TEST(InterfaceLanguage, BareNameTooLongToConvertReadsNoKey) {
  rig::ScratchRegistryKey empty(HKEY_CURRENT_USER, L"SOFTWARE\\\\Language");
  ASSERT_TRUE(empty.SetString(L"", L"en-US"));
  rig::ScratchRegistryKey software(HKEY_CURRENT_USER, L"SOFTWARE\\Language");
  ASSERT_TRUE(software.SetString(L"", L"en-US"));
  EXPECT_TRUE(ChineseFor(std::string(128, 'n') + ".exe"));
  EXPECT_TRUE(ChineseFor(std::string(300, 'n') + ".exe"));
  EXPECT_FALSE(ChineseFor("abcd"));  // no name at all still looks the empty name up
}

// ProgName goes through the ANSI code page, and its bytes are then read as code page 936. Under
// 1252, "é" is 0xE9 and 0xE9 0xE9 reads as 殚; a Chinese name has no 1252 form, and its key is
// not found.
TEST(InterfaceLanguage, BareNameIsReadAsCodePage936UnderAWesternCodePage) {
  ASSERT_EQ(GetACP(), 1252u);
  std::wstring suffix = rig::UniqueName(L"");
  LanguageKey western(L"X殚" + suffix);
  ASSERT_TRUE(western.language.SetString(L"", L"en-US"));
  EXPECT_FALSE(ChineseFor("X\xC3\xA9\xC3\xA9" + Utf8(suffix) + ".exe"));

  LanguageKey chinese(L"测试" + suffix);
  ASSERT_TRUE(chinese.language.SetString(L"", L"en-US"));
  EXPECT_TRUE(ChineseFor("测试" + Utf8(suffix) + ".exe"));
}

// The Language setting takes the registry's rule on its own text, found as every other setting is
// (any letter case of its name, the last usable one), and the registry is then not read. A setting
// that gives no value leaves the registry to decide; so does a file that did not load.
TEST(InterfaceLanguage, LanguageSettingTakesTheRegistrysRuleAndSilencesTheRegistry) {
  std::wstring bare = rig::UniqueName(L"Prog");
  LanguageKey key(bare);
  ASSERT_TRUE(key.language.SetString(L"", L"en-US"));
  const std::string program = "<ProgName>" + Utf8(bare) + ".exe</ProgName>";
  struct Case {
    std::string settings;
    bool chinese;
  };
  for (const Case& c :
       {Case{"", false}, Case{"<Language>zh-CN</Language>", true}, Case{"<LANGUAGE>lang=ZH-cn</LANGUAGE>", true},
        Case{"<Language>English</Language>", true}, Case{"<Language>en-US</Language><language>fr-FR</language>", true},
        Case{"<Language>zh-CN</Language><Language></Language>", true}, Case{"<Language><!-- en --></Language>", false},
        Case{"<Language>  </Language>", false}, Case{"<Language>en-US,zh-CN</Language>", true}}) {
    EXPECT_EQ(BuildFromText("<Product>" + program + c.settings + "</Product>").store->chinese, c.chinese) << c.settings;
  }
}

// Its ctest entry runs it under LANG=zh_CN.UTF-8: the Wine process then has code page 936.
TEST(InterfaceLanguage, ChineseProgNameFindsItsKeyUnderCodePage936) {
  ASSERT_EQ(GetACP(), 936u) << "to be run under LANG=zh_CN.UTF-8";
  std::wstring bare = rig::UniqueName(L"测试");
  LanguageKey key(bare);
  ASSERT_TRUE(key.language.SetString(L"", L"en-US"));
  EXPECT_FALSE(ChineseFor(Utf8(bare) + ".exe"));
}

}  // namespace
