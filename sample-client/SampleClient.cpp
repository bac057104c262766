// SampleClient: a stand-in for the desktop client that Portico starts, built on the client library.
// It records exactly what reached it (its command line, every message on its pipe) in
// "<program>.record.txt" beside itself, shows the same in its window, and serves its named pipe
// one client at a time.
//
// Settings come from "<program>.settings.txt" beside it, one key=value a line, and can be
// overridden by arguments of the form /sample:key=value:
//   pipe=NAME                    serve \\.\pipe\NAME (no pipe without it)
//   window=normal|minimized|none a visible window (default), a minimised one, or none at all
//   hang=1                       once started, the window thread stops pumping messages for good
//   helperwindow=1               also a hidden, unowned top-level window of another class
//   inventory=1                  record every file below its folder, with size and CRC-32, at start
//   pipestall=1                  serve the pipe with no buffer and never read: a writer waits for good
//   linger=MS                    when closed, stop serving the pipe, destroy the window and only then
//                                end, MS milliseconds later: a client on its way out
// and, to check for updates once started (the client updater; its steps go to the record):
//   update-feed=URL              the feed; no check without it
//   update-key=KEY               the minisign public key line the launcher trusts
//   update-product=NAME          the launcher's Protocol
//   update-version=VERSION       the version installed now
//   update-channel=NAME          stable unless given
//   update-state=FOLDER          where the updater keeps its state (%LOCALAPPDATA%\<product>-updates)
//   update-plain-http=1          allow a feed over http:// to another host than this machine
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ClientRecord.h"
#include "Inventory.h"
#include "PorticoClient.h"
#include "UpdateCheck.h"
#include "WinHandles.h"

namespace {

constexpr UINT kShowLine = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"PorticoSampleClient";
constexpr wchar_t kHelperWindowClass[] = L"PorticoSampleClientHelper";
constexpr wchar_t kSwitchPrefix[] = L"/sample:";

struct Settings {
  std::wstring pipe;
  std::wstring window = L"normal";
  bool hang = false;
  bool helperWindow = false;
  bool inventory = false;
  bool pipeStall = false;
  DWORD lingerMs = 0;
  UpdateCheckSettings update;
};

struct Client {
  std::wstring programPath;
  std::wstring recordPath;
  std::wstring settingsPath;
  Settings settings;
  HWND window = nullptr;
  HWND helperWindow = nullptr;
  HWND list = nullptr;
  portico::KernelHandle server;       // the thread that serves the pipe
  portico::KernelHandle stopServing;  // set: the server closes the pipe and the thread ends
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
  if (key == L"hang") settings.hang = value == L"1";
  if (key == L"helperwindow") settings.helperWindow = value == L"1";
  if (key == L"inventory") settings.inventory = value == L"1";
  if (key == L"pipestall") settings.pipeStall = value == L"1";
  if (key == L"linger") settings.lingerMs = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
  const std::string text(value.begin(), value.end());
  if (key == L"update-feed") settings.update.feedUrl = value;
  if (key == L"update-key") settings.update.publicKey = text;
  if (key == L"update-product") settings.update.product = text;
  if (key == L"update-version") settings.update.installedVersion = text;
  if (key == L"update-channel") settings.update.channel = text;
  if (key == L"update-state") settings.update.stateFolder = value;
  if (key == L"update-plain-http") settings.update.allowPlainHttp = value == L"1";
}

Settings ReadSettings(const std::wstring& file, int argc, wchar_t** argv) {
  Settings settings;
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
  if (client.settings.inventory) {
    const std::wstring programFolder = client.programPath.substr(0, client.programPath.find_last_of(L'\\'));
    for (const std::string& line : InventoryLines(programFolder, {client.recordPath, client.settingsPath})) {
      Record(line);
    }
  }
  Record("working folder: " + EscapeBytes(ToUtf8(folder)));
  Record("command line: " + EscapeBytes(ToUtf8(GetCommandLineW())));
  Record("argument count: " + std::to_string(argc - 1));
  for (int i = 1; i < argc; ++i) Record("argument " + std::to_string(i) + ": " + EscapeBytes(ToUtf8(argv[i])));
}

std::string HandleText(HWND window) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  return text;
}

// Every message in the exact bytes that came. One over the hand-off's limit reaches the handler
// cut short, so it is only noted.
void RecordMessage(const portico::client::LinkMessage& message) {
  const std::string counts = std::to_string(message.size) + " bytes, at " + std::to_string(message.arrivedAt);
  if (message.size > portico::client::kMaxMessageBytes) {
    Record("pipe message too long (" + counts + "), dropped");
  } else {
    Record("pipe message (" + counts + "): " + EscapeBytes(message.raw));
    if (message.link) Record("link: " + EscapeBytes(*message.link));
  }
}

std::string Explain(portico::client::LinkServerStatus status) {
  switch (status) {
    case portico::client::LinkServerStatus::nameTaken:
      return "the name is taken by another server";
    case portico::client::LinkServerStatus::badName:
      return "the name is not one the launcher opens";
    default:
      return "the pipe could not be made";
  }
}

// Takes one connection and never reads: without a buffer, a write into the pipe never completes.
void ServeWithoutReading() {
  const std::wstring path = L"\\\\.\\pipe\\" + client.settings.pipe;
  portico::PipeHandle pipe(
      CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr));
  Record("serving pipe " + EscapeBytes(ToUtf8(path)) + " without reading");
  if (ConnectNamedPipe(pipe.get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) Record("pipe connected");
  for (;;) Sleep(INFINITE);
}

DWORD WINAPI CheckUpdates(void*) {
  const std::wstring folder = client.programPath.substr(0, client.programPath.find_last_of(L'\\'));
  CheckForUpdates(client.settings.update, folder, Record);
  return 0;
}

// Until the name is free (another copy may hold it), tries again; the library serves on a thread
// of its own, so this one just keeps the server alive once it runs.
DWORD WINAPI ServePipe(void*) {
  if (client.settings.pipeStall) ServeWithoutReading();
  bool reportedFailure = false;
  for (;;) {
    portico::client::LinkServer server(client.settings.pipe, RecordMessage);
    if (server.status() == portico::client::LinkServerStatus::serving) {
      Record("serving pipe " + EscapeBytes(ToUtf8(L"\\\\.\\pipe\\" + client.settings.pipe)));
      WaitForSingleObject(client.stopServing.get(), INFINITE);
      return 0;
    }
    if (!reportedFailure) {
      Record("pipe unavailable, error " + std::to_string(server.error()) + ": " + Explain(server.status()));
    }
    reportedFailure = true;
    Sleep(200);
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      client.list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                                    window, nullptr, GetModuleHandleW(nullptr), nullptr);
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
    case WM_CLOSE:
      // Lingering, the pipe goes before the window: a link that meets no window finds no pipe either.
      if (client.settings.lingerMs > 0 && client.server && !client.settings.pipeStall) {
        SetEvent(client.stopServing.get());
        WaitForSingleObject(client.server.get(), INFINITE);
        Record("pipe closed, lingering " + std::to_string(client.settings.lingerMs) + " ms");
      }
      DestroyWindow(window);
      return 0;
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

// Made after the visible window, so that it lies above it in the z-order and EnumWindows meets it
// first; never shown, and owned by nobody.
HWND CreateHelperWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kHelperWindowClass;
  RegisterClassW(&wc);
  return CreateWindowExW(0, kHelperWindowClass, L"SampleClient helper", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
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
  client.settingsPath = client.programPath.substr(0, client.programPath.find_last_of(L'.')) + L".settings.txt";
  client.settings = ReadSettings(client.settingsPath, argc, argv);

  if (client.settings.window != L"none") {
    client.window = CreateClientWindow(client.settings.window == L"minimized" ? SW_SHOWMINIMIZED : SW_SHOW);
  }
  if (client.settings.helperWindow) client.helperWindow = CreateHelperWindow();
  RecordStart(startedAt, argc, argv);
  LocalFree(argv);
  if (client.helperWindow) {
    Record("windows: visible " + HandleText(client.window) + " hidden " + HandleText(client.helperWindow));
  }

  client.stopServing.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!client.settings.pipe.empty()) client.server.reset(CreateThread(nullptr, 0, ServePipe, nullptr, 0, nullptr));
  portico::KernelHandle updates;
  if (!client.settings.update.feedUrl.empty()) {
    updates.reset(CreateThread(nullptr, 0, CheckUpdates, nullptr, 0, nullptr));
  }

  if (!client.window && !client.helperWindow) {
    // Without a window there is nothing to wait for but the end of the process.
    for (;;) Sleep(INFINITE);
  }
  if (client.settings.hang) {
    // For good: the system is to find this window hung, while the pipe is still served.
    Record("hanging now");
    for (;;) Sleep(INFINITE);
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (client.settings.lingerMs > 0) Sleep(client.settings.lingerMs);
  return 0;
}
