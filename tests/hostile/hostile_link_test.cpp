// Hostile links through the real launcher to SampleClient: whatever the link holds, the target gets
// the payload as exactly one argument and the launcher ends normally. The same cases run under
// code page 1252 and, as entries of their own, under code page 936.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Installation.h"

namespace {

// What the target must receive: the payload without its closing quote, other quotes as %22.
std::string Expected(std::wstring payload) {
  if (!payload.empty() && payload.back() == L'"') payload.pop_back();
  std::wstring expected;
  for (wchar_t c : payload) {
    if (c == L'"') {
      expected += L"%22";
    } else {
      expected += c;
    }
  }
  return rig::ToUtf8(expected);
}

struct LinkCase {
  std::string what;
  std::wstring payload;  // the text behind "<scheme>://"
  bool quoted;           // the whole link in quotes, as the shell passes it
};

void ExpectEachLinkArrivesWhole(UINT expectedCodePage, const std::vector<LinkCase>& cases) {
  ASSERT_EQ(GetACP(), expectedCodePage) << "the test runs under the wrong locale";
  rig::Installation install;
  install.WriteConfig();
  size_t starts = 0;
  for (const LinkCase& c : cases) {
    const std::wstring link = install.scheme() + L"://" + c.payload;
    const std::wstring commandLine = c.quoted ? L"\"" + link + L"\"" : link;
    const rig::DebuggeeResult result = install.RunLauncher(commandLine);
    EXPECT_EQ(result.crashCode, 0u) << c.what;
    EXPECT_EQ(result.exitCode, 0u) << c.what;
    ASSERT_TRUE(install.WaitForStarts(++starts)) << c.what;
    const rig::ClientStart start = install.Record().starts.back();
    // A quoted link's own closing quote is the payload's last character.
    const std::wstring payload = c.quoted ? c.payload + L"\"" : c.payload;
    ASSERT_EQ(start.arguments.size(), 1u) << c.what << ": " << start.commandLine.substr(0, 300);
    EXPECT_EQ(start.arguments[0], Expected(payload)) << c.what;
    install.EndClients();
  }
}

std::vector<LinkCase> RawQuotesAndBackslashes() {
  return {
      {"raw quote inside", L"open?a=\"b\"", true},
      {"quote and blank inside", L"x\" \"y", true},
      {"quote then arguments", L"x\" IsAdmin -user \"y", true},
      {"only quotes", L"\"\"\"", true},
      {"unquoted link with quotes", L"a\"b\"c", false},
      {"unquoted link ending in a quote", L"a b\"", false},
      {"trailing backslash", L"path\\", true},
      {"three trailing backslashes", L"path\\\\\\", true},
      {"backslash before an inner quote", L"a\\\"b", true},
      {"unquoted trailing backslash", L"path\\", false},
      {"empty payload", L"", true},
  };
}

std::vector<LinkCase> LongAndNonAscii() {
  return {
      {"32000-character link", L"open?data=" + std::wstring(32000 - 10, L'a'), true},
      {"non-ASCII text", L"open?name=M\u00fcller&city=\u5317\u4eac&q=\u00e9\u00e8", true},
      {"emoji", L"open?e=\U0001F600\U0001F44D\U0001F3FD&x=1", true},
      {"text outside code page 936 and 1252", L"\u0410\u05d0\u0e01\u20ac", true},
      {"lone surrogate", std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"b", true},
  };
}

TEST(HostileLink, RawQuotesAndTrailingBackslashesUnderCodePage1252) {
  ExpectEachLinkArrivesWhole(1252, RawQuotesAndBackslashes());
}

TEST(HostileLink, LongAndNonAsciiLinksUnderCodePage1252) { ExpectEachLinkArrivesWhole(1252, LongAndNonAscii()); }

TEST(HostileLink, RawQuotesAndTrailingBackslashesUnderCodePage936) {
  ExpectEachLinkArrivesWhole(936, RawQuotesAndBackslashes());
}

TEST(HostileLink, LongAndNonAsciiLinksUnderCodePage936) { ExpectEachLinkArrivesWhole(936, LongAndNonAscii()); }

}  // namespace
