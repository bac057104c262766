// Helper of the demo script (a console program, so its output reaches the transcript):
//   DemoTool make-shortcut LNK TARGET              a shell link to TARGET
//   DemoTool show-shortcut LNK                     prints target, icon, working folder, description
//   DemoTool answer-box IMAGE                      waits for IMAGE's message box, prints it, presses OK
//   DemoTool screenshot TITLE-PREFIX OUT.bmp       saves the first window whose title starts so
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "DialogHelper.h"
#include "Installation.h"
#include "WinHandles.h"

namespace {

void Print(const std::wstring& text) { std::printf("%s\n", rig::ToUtf8(text).c_str()); }

int MakeShortcut(const wchar_t* lnk, const wchar_t* target) {
  portico::ComInit com;
  portico::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) return 1;
  link->SetPath(target);
  portico::ComPtr<IPersistFile> file;
  if (FAILED(link.QueryInterface(IID_IPersistFile, file))) return 1;
  return SUCCEEDED(file->Save(lnk, TRUE)) ? 0 : 1;
}

int ShowShortcut(const wchar_t* lnk) {
  portico::ComInit com;
  portico::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) return 1;
  portico::ComPtr<IPersistFile> file;
  if (FAILED(link.QueryInterface(IID_IPersistFile, file)) || FAILED(file->Load(lnk, STGM_READ))) {
    Print(L"   (no shortcut " + std::wstring(lnk) + L")");
    return 1;
  }
  wchar_t text[MAX_PATH] = {};
  int index = 0;
  link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
  Print(L"   target:         " + std::wstring(text));
  link->GetIconLocation(text, MAX_PATH, &index);
  Print(L"   icon:           " + std::wstring(text) + L", index " + std::to_wstring(index));
  link->GetWorkingDirectory(text, MAX_PATH);
  Print(L"   working folder: " + std::wstring(text));
  link->GetDescription(text, MAX_PATH);
  Print(L"   description:    " + std::wstring(text));
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
  std::fprintf(stderr, "usage: DemoTool make-shortcut|show-shortcut|answer-box|screenshot ...\n");
  return 2;
}
