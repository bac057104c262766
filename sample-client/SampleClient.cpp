// SampleClient: a stand-in for the desktop client that Portico starts. It records exactly what
// reached it (its command line, every message on its pipe) in "<program>.record.txt" beside
// itself, shows the same in its window, and serves its named pipe one client at a time.
//
// Settings come from "<program>.settings.txt" beside it, one key=value a line, and can be
// overridden by arguments of the form /sample:key=value:
//   pipe=NAME                    serve \\.\pipe\NAME (no pipe without it)
//   window=normal|minimized|none a visible window (default), a minimised one, or none at all
#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <string>
#include <vector>

#include "ClientRecord.h"
#include "WinHandles.h"

namespace {

constexpr UINT kShowLine = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"PorticoSampleClient";
constexpr wchar_t kSwitchPrefix[] = L"/sample:";

struct Settings {
  std::wstring pipe;
  std::wstring window = L"normal";
};

struct Client {
  std::wstring programPath;
  std::wstring recordPath;
  Settings settings;
  HWND window = nullptr;
  HWND list = nullptr;
};
Client client;

std::wstring ProgramPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

void ApplySetting(Settings& settings, const std::wstring& line) {
  size_t eq = line.find(L'=');
  if (eq == std::wstring::npos) return;
  std::wstring key = line.substr(0, eq);
  std::wstring value = line.substr(eq + 1);
  while (!value.empty() && (value.back() == L'\r' || value.back() == L' ')) value.pop_back();
  if (key == L"pipe") settings.pipe = value;
  if (key == L"window") settings.window = value;
}

Settings ReadSettings(const std::wstring& programPath, int argc, wchar_t** argv) {
  Settings settings;
  std::wstring file = programPath.substr(0, programPath.find_last_of(L'.')) + L".settings.txt";
  std::ifstream in(file.c_str());
  std::string line;
  while (std::getline(in, line)) ApplySetting(settings, std::wstring(line.begin(), line.end()));
  const size_t prefix = wcslen(kSwitchPrefix);
  for (int i = 1; i < argc; ++i) {
    if (wcsncmp(argv[i], kSwitchPrefix, prefix) == 0) ApplySetting(settings, argv[i] + prefix);
  }
  return settings;
}

// Shows a line in the window; the window thread owns the list, so other threads post to it.
void Show(const std::string& line) {
  if (!client.window) return;
  auto* text = new std::wstring(line.begin(), line.end());
  if (!PostMessageW(client.window, kShowLine, 0, reinterpret_cast<LPARAM>(text))) delete text;
}

void Record(const std::string& line) {
  AppendRecord(client.recordPath, line);
  Show(line);
}

// 100-ns units since 1601, as the record gives times.
uint64_t Ticks(const FILETIME& time) { return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

void RecordStart(const FILETIME& startedAt, int argc, wchar_t** argv) {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  Record("start pid " + std::to_string(GetCurrentProcessId()) + " at " + std::to_string(Ticks(startedAt)));
  Record("working folder: " + EscapeBytes(ToUtf8(folder)));
  Record("command line: " + EscapeBytes(ToUtf8(GetCommandLineW())));
  Record("argument count: " + std::to_string(argc - 1));
  for (int i = 1; i < argc; ++i) Record("argument " + std::to_string(i) + ": " + EscapeBytes(ToUtf8(argv[i])));
}

// One message is everything a client writes between connecting and closing. Its arrival is the
// moment its first bytes were read, so that a benchmark can time a hand-off.
std::string ReadMessage(HANDLE pipe, FILETIME& arrival) {
  std::string message;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) || GetLastError() == ERROR_MORE_DATA) {
    if (message.empty() && read > 0) GetSystemTimePreciseAsFileTime(&arrival);
    message.append(buffer, read);
    if (read == 0) break;
  }
  return message;
}

DWORD WINAPI ServePipe(void*) {
  const std::wstring path = L"\\\\.\\pipe\\" + client.settings.pipe;
  bool reportedFailure = false;
  for (;;) {
    // One instance only: a second client meets a busy pipe while the first is served.
    portico::PipeHandle pipe(CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX,
                                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0,
                                              nullptr));
    if (!pipe) {
      if (!reportedFailure) Record("pipe unavailable, error " + std::to_string(GetLastError()));
      reportedFailure = true;
      Sleep(200);
      continue;
    }
    Record("serving pipe " + EscapeBytes(ToUtf8(path)));
    for (;;) {
      if (!ConnectNamedPipe(pipe.get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) break;
      FILETIME arrival{};
      std::string message = ReadMessage(pipe.get(), arrival);
      Record("pipe message (" + std::to_string(message.size()) + " bytes, at " + std::to_string(Ticks(arrival)) +
             "): " + EscapeBytes(message));
      DisconnectNamedPipe(pipe.get());
    }
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      client.list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 0,
                                    0, window, nullptr, GetModuleHandleW(nullptr), nullptr);
      SendMessageW(client.list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
      SendMessageW(client.list, LB_SETHORIZONTALEXTENT, 2000, 0);
      return 0;
    case WM_SIZE:
      MoveWindow(client.list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case kShowLine: {
      auto* text = reinterpret_cast<std::wstring*>(lParam);
      SendMessageW(client.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text->c_str()));
      delete text;
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND CreateClientWindow(int show) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassW(&wc);
  std::wstring name = client.programPath.substr(client.programPath.find_last_of(L'\\') + 1);
  HWND window = CreateWindowExW(0, kWindowClass, (L"SampleClient - " + name).c_str(), WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 720, 320, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  return window;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Taken first, so that a benchmark can tell how long the start took to get here.
  FILETIME startedAt{};
  GetSystemTimePreciseAsFileTime(&startedAt);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  client.programPath = ProgramPath();
  client.recordPath = RecordPathFor(client.programPath);
  client.settings = ReadSettings(client.programPath, argc, argv);

  if (client.settings.window != L"none") {
    client.window = CreateClientWindow(client.settings.window == L"minimized" ? SW_SHOWMINIMIZED : SW_SHOW);
  }
  RecordStart(startedAt, argc, argv);
  LocalFree(argv);

  portico::KernelHandle server;
  if (!client.settings.pipe.empty()) server.reset(CreateThread(nullptr, 0, ServePipe, nullptr, 0, nullptr));

  if (!client.window) {
    // Without a window there is nothing to wait for but the end of the process.
    for (;;) Sleep(INFINITE);
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
