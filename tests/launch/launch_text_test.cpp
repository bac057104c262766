// The command-line and parameter text of the launcher.
#include <gtest/gtest.h>

#include <cstdint>

#include "LaunchText.h"
#include "PassRunnerText.h"

namespace {

TEST(LaunchText, ForceRunCountsOnlyAtTheStartInExactCase) {
  LaunchRequest forced = SplitForceRun(L"forcerun:\"demo://open?id=7\"");
  EXPECT_TRUE(forced.forceRun);
  EXPECT_EQ(forced.text, L"\"demo://open?id=7\"");
  for (const wchar_t* plain : {L"ForceRun:x", L" forcerun:x", L"x forcerun:", L"forcerun", L""}) {
    LaunchRequest request = SplitForceRun(plain);
    EXPECT_FALSE(request.forceRun) << plain;
    EXPECT_EQ(request.text, plain);
  }
}

TEST(LaunchText, PayloadStartsThreeCharactersAfterTheFirstSchemeName) {
  LinkPayload link = FindLinkPayload(L"\"demo://open?id=7\"", L"demo");
  EXPECT_TRUE(link.found);
  EXPECT_EQ(link.payload, L"open?id=7\"");
  // The first occurrence counts, also inside a longer word, and the separator is not checked.
  EXPECT_EQ(FindLinkPayload(L"xdemoABCdemo://y", L"demo").payload, L"demo://y");
  // An empty scheme matches at once.
  EXPECT_EQ(FindLinkPayload(L"abcdef", L"").payload, L"def");
  // The scheme ignores ASCII case, the payload keeps its own.
  EXPECT_EQ(FindLinkPayload(L"\"DEMO://X\" --evil", L"demo").payload, L"X\" --evil");
  EXPECT_EQ(FindLinkPayload(L"\"demo://x\"", L"DeMo").payload, L"x\"");
  EXPECT_FALSE(FindLinkPayload(L"\"d\u00c9mo://x\"", L"d\u00e9mo").found);
  // A payload that would start past the end is empty.
  for (const wchar_t* shortLink : {L"demo", L"demo:", L"demo:/", L"demo://"}) {
    LinkPayload cut = FindLinkPayload(shortLink, L"demo");
    EXPECT_TRUE(cut.found);
    EXPECT_EQ(cut.payload, L"") << shortLink;
  }
}

TEST(LaunchText, WellFormedPayloadGetsOnlyTheOpeningQuote) {
  EXPECT_EQ(QuotePayload(L"open?id=7\""), L"\"open?id=7\"");
  EXPECT_EQ(QuotePayload(L"a b\\c\""), L"\"a b\\c\"");
  EXPECT_EQ(QuotePayload(L"\""), L"\"\"");
}

TEST(LaunchText, AnyOtherPayloadBecomesExactlyOneArgument) {
  // Quotes inside would end the argument early and let the link add arguments of its own.
  EXPECT_EQ(QuotePayload(L"x\" IsAdmin \"y\""), L"\"x%22 IsAdmin %22y\"");
  // A trailing backslash would escape the closing quote.
  EXPECT_EQ(QuotePayload(L"x\\\""), L"\"x\\\\\"");
  EXPECT_EQ(QuotePayload(L"x\\\\"), L"\"x\\\\\\\\\"");
  // No closing quote at all.
  EXPECT_EQ(QuotePayload(L"open?id=7"), L"\"open?id=7\"");
  EXPECT_EQ(QuotePayload(L""), L"\"\"");
  EXPECT_EQ(QuotePayload(L"\"\""), L"\"%22\"");
}

TEST(LaunchText, ExtraArgumentsAreAddedOnceAndOnlyWhenAbsent) {
  std::wstring parameters = L"\"open?id=7\"";
  AppendAdminHint(parameters);
  AppendLaunchArguments(parameters, {L"IsAdmin", L"debug", L"debug", L"open", L"", L"id=7", L"x y"});
  EXPECT_EQ(parameters, L"\"open?id=7\" IsAdmin debug x y");
  // Case matters: "Debug" is not "debug".
  AppendLaunchArguments(parameters, {L"Debug"});
  EXPECT_EQ(parameters, L"\"open?id=7\" IsAdmin debug x y Debug");
}

TEST(LaunchText, OnALinkExtraArgumentsAreLookedForOnlyAfterThePayload) {
  std::wstring parameters = QuotePayload(L"open?id=7&note=--safe-mode IsAdmin\"");
  const size_t linkEnd = parameters.size();
  AppendLaunchArguments(parameters, {L"--safe-mode", L"IsAdmin", L"--safe-mode", L""}, linkEnd);
  EXPECT_EQ(parameters, L"\"open?id=7&note=--safe-mode IsAdmin\" --safe-mode IsAdmin");
}

TEST(LaunchText, BareProgramNames) {
  for (const wchar_t* bare : {L"Client.exe", L"a", L"Demo Client.exe", L"\u6f14\u793a.exe"}) {
    EXPECT_TRUE(IsBareFileName(bare)) << bare;
  }
  for (const wchar_t* other : {L"", L"sub\\Client.exe", L"sub/Client.exe", L"..", L"..\\Client.exe", L"C:Client.exe",
                               L"C:\\Client.exe", L"\\\\server\\share\\Client.exe", L"Client.exe:stream", L"a..exe",
                               // Windows drops trailing dots and blanks when it opens the file.
                               L"Start.bat ", L"Client.exe.", L"Start.cmd. ", L" ", L"."}) {
    EXPECT_FALSE(IsBareFileName(other)) << other;
  }
  for (const wchar_t* script : {L"Start.bat", L"Start.CMD", L"x.Bat"}) EXPECT_TRUE(IsCommandScriptName(script));
  for (const wchar_t* program : {L"Start.exe", L"bat", L"Start.batx", L""}) EXPECT_FALSE(IsCommandScriptName(program));
}

TEST(LaunchText, TargetCommandLineAndTheElevationRetry) {
  EXPECT_EQ(TargetCommandLine(L"C:\\Demo\\Client.exe", L"\"open?id=7\""), L"\"C:\\Demo\\Client.exe\" \"open?id=7\"");
  EXPECT_EQ(TargetCommandLine(L"C:\\Demo\\Client.exe", L""), L"\"C:\\Demo\\Client.exe\"");
  // Only a program that demands more rights, and only from a launcher without them: an elevated
  // launcher never hands the start to the shell.
  struct Case {
    unsigned long error;
    bool elevated;
    bool retry;
  };
  for (const Case& c : {Case{740, false, true}, Case{740, true, false}, Case{5, false, false}, Case{193, false, false},
                        Case{2, true, false}}) {
    EXPECT_EQ(RetryThroughElevationPrompt(c.error, c.elevated), c.retry) << c.error << " " << c.elevated;
  }
}

TEST(LaunchText, ShortNameAndIconPath) {
  EXPECT_EQ(ShortName(L"Client.exe"), L"Client");
  EXPECT_EQ(ShortName(L"abcd"), L"");
  EXPECT_EQ(ShortName(L"abc"), L"abc");
  EXPECT_EQ(ShortName(L""), L"");
  EXPECT_EQ(IconPathFor(L"C:\\Demo Client", L"Client"), std::optional<std::wstring>(L"C:\\Demo Client//Client.ico"));
  // 259 characters fit, 260 do not.
  std::wstring folder(259 - 6 - 2 - 4, L'f');
  EXPECT_TRUE(IconPathFor(folder, L"Client").has_value());
  EXPECT_FALSE(IconPathFor(folder + L"f", L"Client").has_value());
}

TEST(LaunchText, FolderOfAPathKeepsTheSeparatorOfADriveRootOnly) {
  EXPECT_EQ(FolderOf(L"C:\\Demo Client\\Portico.exe"), L"C:\\Demo Client");
  EXPECT_EQ(FolderOf(L"C:\\Portico.exe"), L"C:\\");
  EXPECT_EQ(FolderOf(L"\\\\server\\share\\Portico.exe"), L"\\\\server\\share");
  EXPECT_EQ(FolderOf(L"Portico.exe"), L"");
  EXPECT_EQ(JoinPath(L"C:\\", L"Client.exe"), L"C:\\Client.exe");
  EXPECT_EQ(JoinPath(L"C:\\Demo", L"Client.exe"), L"C:\\Demo\\Client.exe");
}

TEST(LaunchText, PipeNamesStayInThePipeNamespace) {
  EXPECT_TRUE(IsSafePipeName(L"DemoClientPipe"));
  EXPECT_TRUE(IsSafePipeName(L""));
  EXPECT_TRUE(IsSafePipeName(L"a.b"));
  for (const wchar_t* unsafe : {L"..", L"a\\b", L"a/b", L"..\\..\\C:\\x", L"x..y"}) {
    EXPECT_FALSE(IsSafePipeName(unsafe)) << unsafe;
  }
}

TEST(PassRunnerText, TheOriginalCommandLineComesBackWholeAndOnlyAWellFormedSwitchCounts) {
  for (const wchar_t* original : {L"", L"\"demo://open?id=7\"", L"forcerun: a  b ", L" x"}) {
    const PassRunnerRequest request = SplitPassRunner(PassRunnerArguments(0x1f4, original));
    EXPECT_TRUE(request.found) << original;
    EXPECT_EQ(request.originalHandle, 0x1f4u);
    EXPECT_EQ(request.commandLine, original);
  }
  EXPECT_EQ(SplitPassRunner(PassRunnerArguments(UINT64_MAX, L"x")).originalHandle, UINT64_MAX);
  for (const wchar_t* other : {L"/portico-pass-runner:", L"/portico-pass-runner:g", L"/portico-pass-runner:12x",
                               L" /portico-pass-runner:12", L"/PORTICO-PASS-RUNNER:12", L"/portico-pass-runner:12\tx",
                               L"/portico-pass-runner:12345678901234567", L"demo://open"}) {
    const PassRunnerRequest request = SplitPassRunner(other);
    EXPECT_FALSE(request.found) << other;
    EXPECT_EQ(request.commandLine, other);
  }
}

}  // namespace
