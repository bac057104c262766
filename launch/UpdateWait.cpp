#include "UpdateWait.h"

#include <windows.h>

#include "ConfigStore.h"
#include "LaunchRecords.h"
#include "UpdateWaitText.h"
#include "WinHandles.h"

namespace {

constexpr wchar_t kWaitWindowClass[] = L"PorticoUpdateWait";
constexpr int kWidth = 360;
constexpr int kHeight = 110;

// Made only when the wait lasts, and destroyed with the object.
class WaitWindow {
 public:
  explicit WaitWindow(std::wstring text) : text_(std::move(text)) {}

  void Show() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_APPSTARTING);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWaitWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when registered by an earlier wait
    // A caption without a system menu: nothing to close, since closing would not end the wait.
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    window_.reset(CreateWindowExW(WS_EX_APPWINDOW, kWaitWindowClass, text_.c_str(), WS_POPUP | WS_CAPTION, x, y, kWidth,
                                  kHeight, nullptr, nullptr, instance, nullptr));
    if (!window_) return;
    RECT client{};
    GetClientRect(window_.get(), &client);
    CreateWindowExW(0, L"STATIC", text_.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 0, 0, client.right,
                    client.bottom, window_.get(), nullptr, instance, nullptr);
    ShowWindow(window_.get(), SW_SHOWNORMAL);
    UpdateWindow(window_.get());
  }

 private:
  std::wstring text_;
  portico::Window window_;
};

}  // namespace

UpdateLock TakeUpdateLock(const std::wstring& folder, const std::wstring& progName) {
  WaitWindow sign(UpdatingText(ShortName(progName), ConfigStore::Instance().chinese));
  return UpdateLock(folder, [&sign] { sign.Show(); });
}

int TellUpdateNeverEnded(const std::wstring& progName, const LinkPayload& link) {
  RecordUpdateHeldByAnother(link.found);
  const UpdateGaveUpBox box = UpdateGaveUpTexts(ShortName(progName), ConfigStore::Instance().chinese, link.found);
  MessageBoxW(nullptr, box.text.c_str(), box.caption.c_str(), MB_OK | MB_ICONWARNING);
  return kExitUpdateNeverEnded;
}
