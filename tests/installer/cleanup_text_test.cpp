// The uninstall cleanup's text decisions: which program an open command starts, and which command
// lines make it act at all.
#include <gtest/gtest.h>

#include "CleanupTargets.h"
#include "ConfigStore.h"

namespace {

TEST(CleanupText, ProgramOfOpenCommand) {
  const struct {
    const wchar_t* command;
    const wchar_t* program;  // null: none
  } cases[] = {
      {L"\"C:\\Program Files\\Demo\\Portico.exe\" \"%1\"", L"C:\\Program Files\\Demo\\Portico.exe"},
      {L"  \"C:\\A B\\P.exe\"", L"C:\\A B\\P.exe"},
      {L"C:\\Tools\\P.exe \"%1\"", L"C:\\Tools\\P.exe"},
      {L"C:\\Tools\\P.exe", L"C:\\Tools\\P.exe"},
      {L"\"C:\\Program Files\\Demo\\Portico.exe", nullptr},  // an unclosed quote names no program
      {L"\"\" \"%1\"", nullptr},
      {L"", nullptr},
      {L"   ", nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<std::wstring> program = ProgramOfOpenCommand(c.command);
    if (!c.program) {
      EXPECT_FALSE(program) << "command " << testing::PrintToString(std::wstring(c.command));
    } else {
      EXPECT_EQ(program, std::optional<std::wstring>(c.program));
    }
  }
}

TEST(CleanupText, OnlyTheUninstallCommandLinesAct) {
  EXPECT_EQ(MachineWideFromArguments(L"--uninstall machine"), std::optional<bool>(true));
  EXPECT_EQ(MachineWideFromArguments(L" --uninstall  user "), std::optional<bool>(false));
  for (const wchar_t* other : {L"", L"--uninstall", L"--uninstall Machine", L"--uninstall machine extra", L"machine",
                               L"/uninstall user", L"--install user"}) {
    EXPECT_FALSE(MachineWideFromArguments(other)) << testing::PrintToString(std::wstring(other));
  }
}

TEST(CleanupText, ShortcutNamesEachOnce) {
  ProductConfig config;
  config.shortcut_cn = L"演示";
  config.shortcut_en = L"Demo";
  config.shortcut_new_cn = L"演示";
  config.shortcut_new_en = L"Demo 2";
  EXPECT_EQ(ShortcutNamesOf(config), (std::vector<std::wstring>{L"演示", L"Demo", L"Demo 2"}));
  EXPECT_TRUE(ShortcutNamesOf(ProductConfig{}).empty());
}

}  // namespace
