// Helper of the demo script (a console program, so its output reaches the transcript):
//   DemoTool make-shortcut LNK TARGET              a shell link to TARGET
//   DemoTool show-shortcut LNK                     prints target, icon, working folder, description
//   DemoTool answer-box IMAGE                      waits for IMAGE's message box, prints it, presses OK
//   DemoTool screenshot TITLE-PREFIX OUT.bmp       saves the first window whose title starts so
//   DemoTool folder desktop|local-app-data         prints the user's desktop or local application data folder
#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "DialogHelper.h"
#include "Installation.h"
#include "ShellLinks.h"
#include "WinHandles.h"

namespace {

void Print(const std::wstring& text) { std::printf("%s\n", rig::ToUtf8(text).c_str()); }

int MakeShortcut(const wchar_t* lnk, const wchar_t* target) {
  portico::ComInit com;
  rig::ShortcutContent content;
  content.target = target;
  return rig::WriteShortcut(lnk, content) ? 0 : 1;
}

int ShowShortcut(const wchar_t* lnk) {
  portico::ComInit com;
  const std::optional<rig::ShortcutContent> content = rig::ReadShortcut(lnk);
  if (!content) {
    Print(L"   (no shortcut " + std::wstring(lnk) + L")");
    return 1;
  }
  Print(L"   target:         " + content->target);
  Print(L"   icon:           " + content->icon + L", index " + std::to_wstring(content->iconIndex));
  Print(L"   working folder: " + content->workingFolder);
  Print(L"   description:    " + content->description);
  return 0;
}

int ShowFolder(const std::wstring& name) {
  const int csidl = name == L"desktop" ? CSIDL_DESKTOPDIRECTORY : name == L"local-app-data" ? CSIDL_LOCAL_APPDATA : -1;
  if (csidl < 0) return 2;
  Print(rig::KnownFolder(csidl).wstring());
  return 0;
}

int AnswerBox(const wchar_t* image) {
  DWORD pid = rig::WaitForProcess(image);
  if (!pid) return 1;
  auto box = rig::WaitForMessageBox(pid);
  if (!box) return 1;
  Print(L"   box \"" + box->caption + L"\": " + box->text + L"  -> OK");
  return rig::PressButton(*box, IDOK) ? 0 : 1;
}

struct TitleSearch {
  std::wstring prefix;
  HWND found;
};

BOOL CALLBACK FindByTitle(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TitleSearch*>(param);
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (IsWindowVisible(window) && std::wstring(title).rfind(search->prefix, 0) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

int Screenshot(const wchar_t* titlePrefix, const wchar_t* out) {
  TitleSearch search{titlePrefix, nullptr};
  EnumWindows(FindByTitle, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return 1;
  SetForegroundWindow(search.found);
  RedrawWindow(search.found, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(500);
  RECT r{};
  GetWindowRect(search.found, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  std::string pixels(static_cast<size_t>(stride) * height, '\0');
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream bmp(out, std::ios::binary);
  bmp.write(reinterpret_cast<const char*>(&file), sizeof(file));
  bmp.write(reinterpret_cast<const char*>(&info), sizeof(info));
  bmp.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return bmp ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring verb = argc > 1 ? argv[1] : L"";
  if (verb == L"make-shortcut" && argc == 4) return MakeShortcut(argv[2], argv[3]);
  if (verb == L"show-shortcut" && argc == 3) return ShowShortcut(argv[2]);
  if (verb == L"answer-box" && argc == 3) return AnswerBox(argv[2]);
  if (verb == L"screenshot" && argc == 4) return Screenshot(argv[2], argv[3]);
  if (verb == L"folder" && argc == 3) return ShowFolder(argv[2]);
  std::fprintf(stderr, "usage: DemoTool make-shortcut|show-shortcut|answer-box|screenshot|folder ...\n");
  return 2;
}
