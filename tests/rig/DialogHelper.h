#pragma once
// Finds, reads and answers the message boxes another process shows.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace rig {

struct DialogButton {
  int id;             // IDOK, IDCANCEL...
  std::wstring text;  // as shown, "&" marks included
};

struct MessageBoxInfo {
  HWND window = nullptr;
  HWND owner = nullptr;  // the window the box belongs to, or null
  std::wstring caption;
  std::wstring text;
  std::vector<DialogButton> buttons;
};

// The first visible top-level window of process `pid`, of the given class when one is named.
HWND VisibleWindowOf(DWORD pid, const wchar_t* windowClass = nullptr);

// Waits until process `pid` shows a dialog of class #32770 and reads it. Nothing within the time.
std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeoutMs = 15000);

// Presses the button with the given id (IDOK, IDCANCEL...) as a click would.
bool PressButton(const MessageBoxInfo& box, int buttonId);

// True when process `pid` shows no dialog for `waitMs`.
bool NoMessageBoxFor(DWORD pid, DWORD waitMs);

}  // namespace rig
