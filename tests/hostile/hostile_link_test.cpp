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

// How the scheme is written in the link and in Protocol: schemes ignore letter case, so no spelling
// may let a link pass unquoted.
struct Spelling {
  std::string what;
  bool upperLink;
  bool mixedLink;
  bool mixedProtocol;
};
const std::vector<Spelling> kAsConfigured = {{"as configured", false, false, false}};
const std::vector<Spelling> kEverySpelling = {{"as configured", false, false, false},
                                              {"link in capitals", true, false, false},
                                              {"link in mixed case", false, true, false},
                                              {"Protocol in mixed case", false, false, true}};

std::wstring Spelled(std::wstring scheme, bool upper, bool mixed) {
  for (size_t i = 0; i < scheme.size(); ++i) {
    if (upper || (mixed && i % 2 == 0)) scheme[i] = static_cast<wchar_t>(towupper(scheme[i]));
  }
  return scheme;
}

void ExpectLinkArrivesWhole(rig::Installation& install, const std::wstring& scheme, const LinkCase& c, size_t starts,
                            const std::string& spelling) {
  const std::wstring link = scheme + L"://" + c.payload;
  const std::wstring commandLine = c.quoted ? L"\"" + link + L"\"" : link;
  const rig::DebuggeeResult result = install.RunLauncher(commandLine);
  const std::string what = c.what + ", scheme " + spelling;
  EXPECT_EQ(result.crashCode, 0u) << what;
  EXPECT_EQ(result.exitCode, 0u) << what;
  ASSERT_TRUE(install.WaitForStarts(starts)) << what;
  const rig::ClientStart start = install.Record().starts.back();
  // A quoted link's own closing quote is the payload's last character.
  const std::wstring payload = c.quoted ? c.payload + L"\"" : c.payload;
  ASSERT_EQ(start.arguments.size(), 1u) << what << ": " << start.commandLine.substr(0, 300);
  EXPECT_EQ(start.arguments[0], Expected(payload)) << what;
  install.EndClients();
}

void ExpectEachLinkArrivesWhole(UINT expectedCodePage, const std::vector<LinkCase>& cases,
                                const std::vector<Spelling>& spellings = kAsConfigured) {
  ASSERT_EQ(GetACP(), expectedCodePage) << "the test runs under the wrong locale";
  rig::Installation install;
  size_t starts = 0;
  for (const Spelling& spelling : spellings) {
    install.WriteConfig("", Spelled(install.scheme(), false, spelling.mixedProtocol));
    for (const LinkCase& c : cases) {
      ExpectLinkArrivesWhole(install, Spelled(install.scheme(), spelling.upperLink, spelling.mixedLink), c, ++starts,
                             spelling.what);
    }
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
  ExpectEachLinkArrivesWhole(1252, RawQuotesAndBackslashes(), kEverySpelling);
}

TEST(HostileLink, LongAndNonAsciiLinksUnderCodePage1252) { ExpectEachLinkArrivesWhole(1252, LongAndNonAscii()); }

TEST(HostileLink, RawQuotesAndTrailingBackslashesUnderCodePage936) {
  ExpectEachLinkArrivesWhole(936, RawQuotesAndBackslashes(), kEverySpelling);
}

TEST(HostileLink, LongAndNonAsciiLinksUnderCodePage936) { ExpectEachLinkArrivesWhole(936, LongAndNonAscii()); }

}  // namespace
