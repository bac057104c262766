// The installer test's hands on shortcuts, which no Wine command makes or reads:
//   LinkTool make FILE.lnk TARGET   writes a shortcut to TARGET
//   LinkTool target FILE.lnk        prints the shortcut's target path
#include <windows.h>

#include <shobjidl.h>

#include <cstdio>
#include <cwchar>

#include "WinHandles.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  portico::ComInit com;
  portico::ComPtr<IShellLinkW> link;
  portico::ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      FAILED(link.QueryInterface(IID_IPersistFile, file))) {
    return 1;
  }
  if (wcscmp(argv[1], L"make") == 0 && argc == 4) {
    link->SetPath(argv[3]);
    return SUCCEEDED(file->Save(argv[2], TRUE)) ? 0 : 1;
  }
  if (wcscmp(argv[1], L"target") == 0) {
    wchar_t target[MAX_PATH] = {};
    if (FAILED(file->Load(argv[2], STGM_READ)) || FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) {
      return 1;
    }
    std::printf("%ls\n", target);
    return 0;
  }
  return 2;
}
