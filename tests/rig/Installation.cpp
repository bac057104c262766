#include "Installation.h"

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "DialogHelper.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace rig {
namespace {

constexpr DWORD kPollMs = 50;

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

void EndProcessesNamed(const std::wstring& name) {
  portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return;
  do {
    if (_wcsicmp(entry.szExeFile, name.c_str()) != 0) continue;
    portico::KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (process) {
      TerminateProcess(process.get(), 0);
      WaitForSingleObject(process.get(), 5000);
    }
  } while (Process32NextW(snapshot.get(), &entry));
}

// An empty DACL on the process's token: no one else may open it to read it.
void LockToken(HANDLE process) {
  portico::KernelHandle token;
  ACL empty;
  if (!OpenProcessToken(process, WRITE_DAC, token.put()) || !InitializeAcl(&empty, sizeof(empty), ACL_REVISION) ||
      SetSecurityInfo(token.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &empty, nullptr) !=
          ERROR_SUCCESS) {
    throw std::runtime_error("cannot lock the sample client's token");
  }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "<path> <size> <crc>" or "<path> unreadable, error N"; the path may hold blanks.
SeenFile ParseSeenFile(const std::string& text) {
  SeenFile file;
  const size_t unreadable = text.rfind(" unreadable, error ");
  if (unreadable != std::string::npos) {
    file.path = UnescapeBytes(text.substr(0, unreadable));
    return file;
  }
  const size_t crcAt = text.rfind(' ');
  const size_t sizeAt = text.rfind(' ', crcAt - 1);
  file.path = UnescapeBytes(text.substr(0, sizeAt));
  file.size = std::stoull(text.substr(sizeAt + 1, crcAt - sizeAt - 1));
  file.crc = std::stoul(text.substr(crcAt + 1), nullptr, 16);
  file.readable = true;
  return file;
}

}  // namespace

std::string UnescapeBytes(const std::string& escaped) {
  std::string out;
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == '\\') {
      out += '\\';
      i += 1;
    } else if (escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(escaped.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += escaped[i];
    }
  }
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

Installation::Installation(const std::wstring& leaf, const std::wstring& launcherFile, const fs::path& parent)
    : scratch_(leaf, parent),
      launcherFile_(launcherFile),
      progName_(UniqueName(L"Client") + L".exe"),
      scheme_(UniqueName(L"porticotest")),
      pipe_(UniqueName(L"PorticoTestPipe")) {
  // Scheme names take letters, digits, "+", "-" and "."; the unique name's "_" is not among them.
  for (wchar_t& c : scheme_) {
    if (c == L'_') c = L'-';
  }
  namesToEnd_.push_back(progName_);
  fs::copy_file(LauncherUnderTest(launcherFile), launcher());
  scratch_.CopyProgram(L"SampleClient.exe", progName_);
  fs::create_directories(folder() / L"temp");
}

Installation::~Installation() {
  for (const std::wstring& name : namesToEnd_) EndProcessesNamed(name);
  // Every start of the launcher registers the scheme, for the machine or for the user.
  RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme_.c_str());
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + scheme_).c_str());
  // A copy out of reach can be ended only through the handle its start gave.
  for (HANDLE process : started_) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

void Installation::WriteConfig(const std::string& extraXml, const std::wstring& protocol) {
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Product>\n"
      << "  <ProgName>" << ToUtf8(progName_) << "</ProgName>\n"
      << "  <Protocol>" << Narrow(protocol.empty() ? scheme_ : protocol) << "</Protocol>\n"
      << "  <Pipe>" << Narrow(pipe_) << "</Pipe>\n"
      << extraXml << "</Product>\n";
  WriteRawConfig(xml.str());
}

void Installation::WriteClientSettings(const std::string& settings) const {
  WriteFile(folder() / (progName_.substr(0, progName_.size() - 4) + L".settings.txt"), settings);
}

void Installation::WriteRawConfig(const std::string& bytes) { WriteFile(folder() / L"ProductConfig.xml", bytes); }

void Installation::SetLanguage(const std::wstring& value) {
  const std::wstring product = L"SOFTWARE\\" + progName_.substr(0, progName_.size() - 4);
  languageKey_ = std::make_unique<ScratchRegistryKey>(HKEY_CURRENT_USER, product);
  portico::RegKey key;
  RegCreateKeyExW(HKEY_CURRENT_USER, (product + L"\\Language").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  key.put(), nullptr);
  RegSetValueExW(key.get(), L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

RunningClient Installation::Launch(const fs::path& program, const std::wstring& window, bool servePipe, Reach reach) {
  std::wstring commandLine = L"\"" + program.wstring() + L"\" /sample:window=" + window;
  if (servePipe) commandLine += L" /sample:pipe=" + pipe_;
  size_t startsBefore = Record().starts.size();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  // Everyone may query the process and wait for it, and nothing more.
  std::unique_ptr<void, decltype(&LocalFree)> queryOnly(nullptr, LocalFree);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (reach != Reach::Full) {
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x101000;;;WD)", SDDL_REVISION_1, &descriptor,
                                                         nullptr);
    queryOnly.reset(descriptor);
  }
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor, FALSE};
  // Suspended, so that its token is locked before anyone can look at it.
  const bool lockToken = reach == Reach::QueryOnlyTokenLocked;
  if (!CreateProcessW(program.c_str(), commandLine.data(), descriptor ? &security : nullptr, nullptr, FALSE,
                      lockToken ? CREATE_SUSPENDED : 0, nullptr, program.parent_path().c_str(), &startup, &info)) {
    throw std::runtime_error("cannot start the sample client");
  }
  // Owned before the token is locked: a throw there still ends the suspended client with the others.
  started_.push_back(info.hProcess);
  portico::KernelHandle thread(info.hThread);
  if (lockToken) {
    LockToken(info.hProcess);
    ResumeThread(thread.get());
  }
  RunningClient client{info.dwProcessId, info.hProcess, nullptr};
  // Up means: recorded its start, serves its pipe when asked to, and shows its window.
  const ULONGLONG deadline = GetTickCount64() + 15000;
  while (GetTickCount64() < deadline) {
    bool recorded = true;
    if (program.parent_path() != folder()) {
      // Its record lies beside it; the pipe itself tells when it serves.
      recorded = !servePipe || WaitNamedPipeW((L"\\\\.\\pipe\\" + pipe_).c_str(), 0);
    } else {
      ClientRecord record = Record();
      recorded = record.starts.size() > startsBefore;
      if (recorded && servePipe) {
        std::string text = ReadFile(RecordFile());
        recorded = text.find("serving pipe") != std::string::npos &&
                   text.rfind("serving pipe") > text.rfind("start pid " + std::to_string(info.dwProcessId));
      }
    }
    if (window != L"none") client.window = VisibleWindowOf(info.dwProcessId);
    if (recorded && (window == L"none" || client.window)) return client;
    Sleep(kPollMs);
  }
  throw std::runtime_error("the sample client did not come up");
}

RunningClient Installation::StartClient(const std::wstring& window, bool servePipe) {
  return Launch(folder() / progName_, window, servePipe);
}

RunningClient Installation::StartClientAs(const std::wstring& fileName, const std::wstring& window, bool servePipe) {
  fs::path other = folder() / L"other";
  fs::create_directories(other);
  fs::copy_file(BinaryFolder() / L"SampleClient.exe", other / fileName, fs::copy_options::overwrite_existing);
  namesToEnd_.push_back(fileName);
  return Launch(other / fileName, window, servePipe);
}

RunningClient Installation::StartClientOutOfReach(const std::wstring& window, bool lockToken) {
  return Launch(folder() / progName_, window, false, lockToken ? Reach::QueryOnlyTokenLocked : Reach::QueryOnly);
}

DebuggeeResult Installation::RunLauncher(const std::wstring& commandLine, DebuggeeOptions options) {
  return RunDebuggee(launcher(), commandLine, std::move(options));
}

std::filesystem::path Installation::RecordFile() const {
  return folder() / (progName_.substr(0, progName_.size() - 4) + L".record.txt");
}

ClientRecord Installation::Record() const {
  ClientRecord record;
  std::istringstream lines(ReadFile(RecordFile()));
  std::string line;
  while (std::getline(lines, line)) {
    if (StartsWith(line, "start pid ")) {
      ClientStart start;
      start.pid = static_cast<DWORD>(std::stoul(line.substr(10)));
      record.starts.push_back(start);
    } else if (record.starts.empty()) {
      continue;
    } else if (StartsWith(line, "working folder: ")) {
      record.starts.back().workingFolder = UnescapeBytes(line.substr(16));
    } else if (StartsWith(line, "command line: ")) {
      record.starts.back().commandLine = UnescapeBytes(line.substr(14));
    } else if (StartsWith(line, "argument ") && !StartsWith(line, "argument count")) {
      size_t colon = line.find(": ");
      record.starts.back().arguments.push_back(UnescapeBytes(line.substr(colon + 2)));
    } else if (StartsWith(line, "saw ")) {
      record.starts.back().inventory.push_back(ParseSeenFile(line.substr(4)));
    } else if (StartsWith(line, "windows: ")) {
      unsigned long long visible = 0, hidden = 0;
      std::sscanf(line.c_str(), "windows: visible %llx hidden %llx", &visible, &hidden);
      record.starts.back().visibleWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(visible));
      record.starts.back().hiddenWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(hidden));
    } else if (line == "hanging now") {
      record.starts.back().hanging = true;
    } else if (StartsWith(line, "pipe message (")) {
      size_t colon = line.find("): ");
      record.pipeMessages.push_back(UnescapeBytes(line.substr(colon + 3)));
    }
  }
  return record;
}

bool Installation::WaitForStarts(size_t starts, DWORD timeoutMs) const {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    ClientRecord record = Record();
    // A start counts once its arguments are all written: the argument count line comes first.
    if (record.starts.size() >= starts) {
      std::string text = ReadFile(RecordFile());
      size_t last = text.rfind("argument count: ");
      if (last != std::string::npos) {
        size_t expected = std::stoul(text.substr(last + 16));
        if (record.starts.back().arguments.size() >= expected) return true;
      }
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollMs);
  }
}

bool Installation::WaitForMessages(size_t messages, DWORD timeoutMs) const {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (Record().pipeMessages.size() >= messages) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollMs);
  }
}

DWORD Installation::ExitCodeOf(const RunningClient& client, DWORD timeoutMs) {
  WaitForSingleObject(client.process, timeoutMs);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(client.process, &code);
  return code;
}

void Installation::EndClients() const { EndProcessesNamed(progName_); }

bool Installation::AnyCopyRunning() const {
  portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return false;
  do {
    if (progName_ == entry.szExeFile) return true;
  } while (Process32NextW(snapshot.get(), &entry));
  return false;
}

DWORD WaitForProcess(const std::wstring& imageName, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    portico::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (snapshot && Process32FirstW(snapshot.get(), &entry)) {
      do {
        if (imageName == entry.szExeFile) return entry.th32ProcessID;
      } while (Process32NextW(snapshot.get(), &entry));
    }
    if (GetTickCount64() >= deadline) return 0;
    Sleep(kPollMs);
  }
}

HeldKeys::HeldKeys(std::vector<WORD> keys) : keys_(std::move(keys)) {
  for (WORD key : keys_) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    SendInput(1, &input, sizeof(input));
  }
  Sleep(100);
}

HeldKeys::~HeldKeys() {
  for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = *it;
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
  }
  Sleep(100);
}

}  // namespace rig
