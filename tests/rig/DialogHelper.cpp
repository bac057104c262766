#include "DialogHelper.h"

namespace rig {
namespace {

// Wine and Windows give the message text this control id.
constexpr int kMessageTextId = 0xFFFF;

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

struct Search {
  DWORD pid;
  const wchar_t* windowClass;
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->pid && IsWindowVisible(window) &&
      (!search->windowClass || ClassName(window) == search->windowClass)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  auto* box = reinterpret_cast<MessageBoxInfo*>(param);
  std::wstring cls = ClassName(child);
  int id = GetDlgCtrlID(child);
  if (_wcsicmp(cls.c_str(), L"Button") == 0) {
    box->buttons.push_back({id, WindowText(child)});
  } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && box->text.empty()) {
    std::wstring text = WindowText(child);
    if (id == kMessageTextId || !text.empty()) box->text = text;
  }
  return TRUE;
}

}  // namespace

HWND VisibleWindowOf(DWORD pid, const wchar_t* windowClass) {
  Search search{pid, windowClass, nullptr};
  EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = VisibleWindowOf(pid, L"#32770")) {
      // The box becomes visible before its controls are all filled in; give it a moment.
      Sleep(100);
      MessageBoxInfo box;
      box.window = window;
      box.owner = GetWindow(window, GW_OWNER);
      box.caption = WindowText(window);
      if (HWND text = GetDlgItem(window, kMessageTextId)) box.text = WindowText(text);
      EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&box));
      return box;
    }
    if (GetTickCount64() >= deadline) return std::nullopt;
    Sleep(50);
  }
}

bool PressButton(const MessageBoxInfo& box, int buttonId) {
  HWND button = GetDlgItem(box.window, buttonId);
  if (!button) return false;
  // A posted WM_COMMAND is what a click on the button sends; it does not need the box to have
  // the focus, which a box of another process under Xvfb may not get.
  return PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button)) !=
         FALSE;
}

bool NoMessageBoxFor(DWORD pid, DWORD waitMs) { return !WaitForMessageBox(pid, waitMs).has_value(); }

}  // namespace rig
