#include "Debuggee.h"

#include <map>

#include "Scratch.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace rig {
namespace {

// The environment block of this process with `changes` applied, sorted as Windows expects.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes) {
  std::map<std::wstring, std::wstring, bool (*)(const std::wstring&, const std::wstring&)> vars(
      [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
      std::wstring entry = p;
      size_t eq = entry.find(L'=', 1);
      if (eq != std::wstring::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : changes) vars[name] = value;
  std::wstring out;
  for (const auto& [name, value] : vars) out += name + L"=" + value + L'\0';
  out += L'\0';
  return out;
}

}  // namespace

Debuggee::Debuggee(fs::path program, std::wstring arguments, DebuggeeOptions options)
    : program_(std::move(program)), arguments_(std::move(arguments)), options_(std::move(options)) {
  pid_ = pidPromise_.get_future().share();
  thread_ = std::thread([this] { Run(); });
}

Debuggee::~Debuggee() {
  if (thread_.joinable()) thread_.join();
}

DWORD Debuggee::pid() { return pid_.get(); }

DebuggeeResult Debuggee::Wait() {
  if (thread_.joinable()) thread_.join();
  return result_;
}

void Debuggee::Run() {
  fs::path errorFile = fs::temp_directory_path() / (UniqueName(L"portico-stderr-") + L".txt");
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  portico::FileHandle errorHandle(CreateFileW(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = errorHandle.get();
  startup.hStdOutput = nullptr;
  startup.hStdInput = nullptr;

  std::wstring commandLine = L"\"" + program_.wstring() + L"\"";
  if (!arguments_.empty()) commandLine += L" " + arguments_;
  fs::path folder = options_.workingFolder.empty() ? program_.parent_path() : options_.workingFolder;
  std::wstring environment = EnvironmentBlock(options_.environment);

  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                      DEBUG_ONLY_THIS_PROCESS | CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(),
                      &startup, &info)) {
    result_.exitCode = static_cast<DWORD>(-1);
    pidPromise_.set_value(0);
    return;
  }
  portico::KernelHandle process(info.hProcess);
  portico::KernelHandle mainThread(info.hThread);
  errorHandle.reset();  // the child holds its own copy
  pidPromise_.set_value(info.dwProcessId);

  const ULONGLONG deadline = GetTickCount64() + options_.timeoutMs;
  bool running = true;
  while (running) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 100)) {
      if (GetTickCount64() > deadline && !result_.timedOut) {
        result_.timedOut = true;
        TerminateProcess(process.get(), 0xDEAD);
      }
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const auto& info = event.u.DebugString;
        // The length counts the terminating NUL.
        std::string text(info.nDebugStringLength > 0 ? info.nDebugStringLength - 1 : 0, '\0');
        SIZE_T read = 0;
        if (!text.empty()) {
          ReadProcessMemory(process.get(), info.lpDebugStringData, text.data(), text.size(), &read);
          text.resize(read);
        }
        if (!info.fUnicode) result_.debugStrings.push_back(text);
        break;
      }
      case EXCEPTION_DEBUG_EVENT: {
        const auto& exception = event.u.Exception;
        // The loader's breakpoint when the debugger attaches is expected; anything else belongs
        // to the program.
        if (exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
          if (!exception.dwFirstChance) result_.crashCode = exception.ExceptionRecord.ExceptionCode;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        result_.exitCode = event.u.ExitProcess.dwExitCode;
        running = false;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  WaitForSingleObject(process.get(), 5000);
  result_.standardError = ReadFile(errorFile);
  DeleteFileW(errorFile.c_str());
}

DebuggeeResult RunDebuggee(const fs::path& program, const std::wstring& arguments, DebuggeeOptions options) {
  Debuggee debuggee(program, arguments, std::move(options));
  return debuggee.Wait();
}

}  // namespace rig
