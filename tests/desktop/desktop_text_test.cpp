// The scheme and shortcut-name rules that keep the launcher's writes inside their own places.
#include <gtest/gtest.h>

#include "OpenCommand.h"
#include "ShortcutNames.h"

namespace {

TEST(OpenCommandText, OnlyAValidSchemeFollowedByTheOpenCommandPathIsAccepted) {
  for (const wchar_t* key : {L"demo\\shell\\open\\command", L"d\\shell\\open\\command",
                             L"web+demo-2.x\\shell\\open\\command", L"Z9\\shell\\open\\command"}) {
    EXPECT_TRUE(IsSchemeCommandKey(key)) << key;
  }
  for (const wchar_t* key :
       {L"\\shell\\open\\command", L"9demo\\shell\\open\\command", L"-demo\\shell\\open\\command",
        L"de mo\\shell\\open\\command", L"demo\\x\\shell\\open\\command", L"demo/x\\shell\\open\\command",
        L"d\u00e9mo\\shell\\open\\command", L"demo:\\shell\\open\\command", L"demo", L"demo\\shell\\open",
        L"demo\\shell\\open\\command\\x", L"demo\\Shell\\Open\\Command\\"}) {
    EXPECT_FALSE(IsSchemeCommandKey(key)) << key;
  }
}

TEST(ShortcutNames, NamesThatCannotBeAFileOnTheDesktopCountAsAbsent) {
  const std::wstring desktop = L"C:\\users\\Public\\Desktop";
  EXPECT_EQ(ShortcutFile(desktop, L"Sample \u4e2d\u6587"), desktop + L"\\Sample \u4e2d\u6587.lnk");
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"..\\Sample", L"a/b", L"C:Sample"}) {
    EXPECT_FALSE(IsShortcutName(name));
    EXPECT_FALSE(ShortcutFile(desktop, name));
  }
  // The whole file with its terminating zero fits 260 characters, and not one more.
  const std::wstring fits(259 - desktop.size() - 5, L'n');
  EXPECT_TRUE(ShortcutFile(desktop, fits.c_str()));
  EXPECT_FALSE(ShortcutFile(desktop, (fits + L"n").c_str()));
}

}  // namespace
