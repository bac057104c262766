// SampleClient on the client library: its record when its pipe name is taken, and the settings
// other tests start it with (inventory, helper window, hang).
#include <windows.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>

#include "Installation.h"
#include "PorticoClient.h"
#include "WinHandles.h"

namespace {

namespace pc = portico::client;

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(50);
  }
  return true;
}

// Writes the text with its NUL, as a launcher would, and closes.
void HandOff(const rig::Installation& install, const std::string& text) {
  portico::PipeHandle pipe(
      CreateFileW((L"\\\\.\\pipe\\" + install.pipe()).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(pipe);
  DWORD written = 0;
  WriteFile(pipe.get(), text.c_str(), static_cast<DWORD>(text.size() + 1), &written, nullptr);
}

TEST(SampleClient, ATakenPipeNameIsRecordedAndServedOnceFree) {
  rig::Installation install;
  install.WriteClientSettings("pipe=" + rig::ToUtf8(install.pipe()) + "\n");
  auto holder = std::make_unique<pc::LinkServer>(install.pipe(), [](const pc::LinkMessage&) {});
  install.StartClient(L"normal", false);
  const auto recorded = [&](const char* text) {
    return rig::ReadFile(install.RecordFile()).find(text) != std::string::npos;
  };
  EXPECT_TRUE(WaitUntil([&] { return recorded(": the name is taken by another server\n"); }));
  EXPECT_TRUE(recorded("\npipe unavailable, error "));
  EXPECT_FALSE(recorded("serving pipe"));
  holder.reset();
  ASSERT_TRUE(WaitUntil([&] { return recorded("serving pipe"); }));
  HandOff(install, "x\"");
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("x\"\0", 3));
}

TEST(SampleClient, InventoryListsEachFileBelowItsFolderRightAfterTheStart) {
  rig::Installation install;
  install.WriteConfig();
  const std::string keep = "kept content", odd = "\xFFodd";
  rig::WriteFile(install.folder() / L"data" / L"deeper" / L"keep.txt", keep);
  rig::WriteFile(install.folder() / L"a b\u00e9.txt", odd);
  install.WriteClientSettings("inventory=1\n");
  install.StartClient(L"none", false);
  ASSERT_TRUE(install.WaitForStarts(1));

  const std::vector<rig::SeenFile> seen = install.Record().starts.at(0).inventory;
  std::vector<std::string> paths;
  for (const rig::SeenFile& file : seen) paths.push_back(file.path);
  // Sorted by the UTF-8 bytes of the path; the record and settings files are left out.
  std::vector<std::string> expected = {rig::ToUtf8(install.progName()), "Portico.exe", "ProductConfig.xml",
                                       "a b\xC3\xA9.txt", "data\\deeper\\keep.txt"};
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(paths, expected);
  for (const auto& [path, bytes] : {std::make_pair(std::string("data\\deeper\\keep.txt"), keep),
                                    std::make_pair(std::string("a b\xC3\xA9.txt"), odd)}) {
    const rig::SeenFile& file = seen[std::find(paths.begin(), paths.end(), path) - paths.begin()];
    EXPECT_TRUE(file.readable) << path;
    EXPECT_EQ(file.size, bytes.size()) << path;
    EXPECT_EQ(file.crc, crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
  }
  // The inventory comes right after the start line.
  const std::string text = rig::ReadFile(install.RecordFile());
  EXPECT_EQ(text.compare(text.find('\n') + 1, 4, "saw "), 0);
}

struct ProcessWindows {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* windows = reinterpret_cast<ProcessWindows*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == windows->pid) windows->found.push_back(window);
  return TRUE;
}

TEST(SampleClient, HelperWindowIsHiddenUnownedAndMetFirst) {
  rig::Installation install;
  install.WriteClientSettings("helperwindow=1\n");
  rig::RunningClient running = install.StartClient(L"normal", false);
  ASSERT_TRUE(WaitUntil([&] { return install.Record().starts.at(0).hiddenWindow != nullptr; }));
  const rig::ClientStart start = install.Record().starts.at(0);
  EXPECT_EQ(start.visibleWindow, running.window);
  ProcessWindows windows{running.pid, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  ASSERT_FALSE(windows.found.empty());
  EXPECT_EQ(windows.found.front(), start.hiddenWindow);
  EXPECT_FALSE(IsWindowVisible(start.hiddenWindow));
  EXPECT_EQ(GetWindow(start.hiddenWindow, GW_OWNER), nullptr);
  EXPECT_NE(GetClassLongPtrW(start.hiddenWindow, GCW_ATOM), GetClassLongPtrW(running.window, GCW_ATOM));
}

TEST(SampleClient, HangStopsTheWindowWhileThePipeIsStillServed) {
  rig::Installation install;
  install.WriteClientSettings("hang=1\n");
  rig::RunningClient running = install.StartClient(L"normal", true);
  ASSERT_TRUE(WaitUntil([&] { return install.Record().starts.at(0).hanging; }));
  // Wine counts a window as hung after about 5 s without pumping.
  EXPECT_TRUE(WaitUntil([&] { return IsHungAppWindow(running.window) != FALSE; }, 20000));
  HandOff(install, "late\"");
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("late\"\0", 6));
}

}  // namespace
