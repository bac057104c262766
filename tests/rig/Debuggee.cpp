#include "Debuggee.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

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

// The path of an open file without the "\\?\" the call puts before it; empty when unknown.
std::wstring FinalPathOf(HANDLE file) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length = file ? GetFinalPathNameByHandleW(file, buffer, MAX_PATH * 2, FILE_NAME_NORMALIZED) : 0;
  if (length == 0 || length >= MAX_PATH * 2) return {};
  std::wstring path(buffer, length);
  return path.compare(0, 4, L"\\\\?\\") == 0 ? path.substr(4) : path;
}

constexpr DWORD kTrapFlag = 0x100;
constexpr BYTE kBreakInstruction = 0xCC;

}  // namespace

namespace detail {

// Software breakpoints at functions' first instructions. Under Wine the system DLLs lie at the same
// addresses in every process of the prefix, which is checked before a breakpoint is set.
class Breakpoints {
 public:
  Breakpoints(HANDLE process, const std::vector<std::string>& functions) : process_(process) {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    for (const std::string& name : functions) {
      auto* address = reinterpret_cast<BYTE*>(GetProcAddress(kernel32, name.c_str()));
      if (!address) throw std::runtime_error("no export " + name);
      BYTE theirs[16];
      SIZE_T read = 0;
      if (!ReadProcessMemory(process_, address, theirs, sizeof(theirs), &read) || read != sizeof(theirs) ||
          memcmp(theirs, address, sizeof(theirs)) != 0) {
        throw std::runtime_error("the debuggee's kernel32 lies elsewhere");
      }
      at_[address] = {name, theirs[0]};
      Arm(address);
    }
  }

  // The function whose breakpoint the address is; null for any other address.
  const std::string* FunctionAt(void* address) const {
    auto it = at_.find(static_cast<BYTE*>(address));
    return it == at_.end() ? nullptr : &it->second.function;
  }

  // Lets the thread run the function's first instruction, then arms the breakpoint again
  // (Rearm, on the single-step that follows).
  void StepOver(HANDLE thread, DWORD threadId, CONTEXT& context) {
    auto* address = reinterpret_cast<BYTE*>(context.Rip);
    Write(address, at_.at(address).original);
    context.EFlags |= kTrapFlag;
    SetThreadContext(thread, &context);
    pending_[threadId] = address;
  }

  bool Rearm(DWORD threadId) {
    auto it = pending_.find(threadId);
    if (it == pending_.end()) return false;
    Arm(it->second);
    pending_.erase(it);
    return true;
  }

 private:
  struct Site {
    std::string function;
    BYTE original;
  };
  void Arm(BYTE* address) { Write(address, kBreakInstruction); }
  void Write(BYTE* address, BYTE value) {
    WriteProcessMemory(process_, address, &value, 1, nullptr);
    FlushInstructionCache(process_, address, 1);
  }

  HANDLE process_;
  std::map<BYTE*, Site> at_;
  std::map<DWORD, BYTE*> pending_;
};

}  // namespace detail

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
  const DWORD debugFlag = options_.followChild ? DEBUG_PROCESS : DEBUG_ONLY_THIS_PROCESS;
  if (!CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                      debugFlag | CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(), &startup, &info)) {
    result_.exitCode = static_cast<DWORD>(-1);
    result_.startError = GetLastError();
    pidPromise_.set_value(0);
    return;
  }
  portico::KernelHandle process(info.hProcess);
  portico::KernelHandle mainThread(info.hThread);
  errorHandle.reset();  // the child holds its own copy
  pidPromise_.set_value(info.dwProcessId);

  // Each debugged process: the program itself, and the children followed. The handles of the
  // children are the debug events' own, which Windows closes when they end.
  struct Followed {
    HANDLE handle = nullptr;
    bool loaderBreakSeen = false;
    std::unique_ptr<detail::Breakpoints> breakpoints;
  };
  std::map<DWORD, Followed> followed;
  followed[info.dwProcessId].handle = process.get();
  const auto terminateAll = [&] {
    for (auto& [id, each] : followed) TerminateProcess(each.handle, 0xDEAD);
  };

  const ULONGLONG deadline = GetTickCount64() + options_.timeoutMs;
  bool breakRequested = false;
  const ULONGLONG breakAt = GetTickCount64() + options_.breakAfterMs;
  bool running = true;
  while (running) {
    DEBUG_EVENT event{};
    const ULONGLONG now = GetTickCount64();
    const bool waitingToBreak = options_.breakAfterMs && !breakRequested && !options_.breakOn.empty();
    if (waitingToBreak && followed.count(info.dwProcessId) && followed[info.dwProcessId].loaderBreakSeen &&
        now >= breakAt) {
      // Stops the debuggee where it stands: a thread of its own hits a breakpoint, and ours go in.
      breakRequested = DebugBreakProcess(process.get()) != FALSE;
    }
    const DWORD wait =
        waitingToBreak && now < breakAt ? static_cast<DWORD>(std::min<ULONGLONG>(breakAt - now, 100)) : 100;
    if (!WaitForDebugEvent(&event, wait)) {
      if (GetTickCount64() > deadline && !result_.timedOut) {
        result_.timedOut = true;
        terminateAll();
      }
      continue;
    }
    DWORD status = DBG_CONTINUE;
    bool letGo = false;
    const auto found = followed.find(event.dwProcessId);
    Followed* current = found == followed.end() ? nullptr : &found->second;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        const auto& created = event.u.CreateProcessInfo;
        ProcessEvent started;
        started.processId = event.dwProcessId;
        started.started = true;
        started.image = FinalPathOf(created.hFile);
        if (created.hFile) CloseHandle(created.hFile);
        if (event.dwProcessId != info.dwProcessId) {
          if (!options_.followChild(started.image)) {
            letGo = true;
            break;
          }
          followed[event.dwProcessId].handle = created.hProcess;
        }
        if (options_.onProcess) options_.onProcess(started);
        break;
      }
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        if (!current) break;
        const auto& output = event.u.DebugString;
        // The length counts the terminating NUL.
        std::string text(output.nDebugStringLength > 0 ? output.nDebugStringLength - 1 : 0, '\0');
        SIZE_T read = 0;
        if (!text.empty()) {
          ReadProcessMemory(current->handle, output.lpDebugStringData, text.data(), text.size(), &read);
          text.resize(read);
        }
        if (!output.fUnicode) result_.debugStrings.push_back(text);
        break;
      }
      case EXCEPTION_DEBUG_EVENT: {
        const auto& exception = event.u.Exception;
        const DWORD code = exception.ExceptionRecord.ExceptionCode;
        const bool first = event.dwProcessId == info.dwProcessId;
        if (!current) {
          // A process being let go: its loader's breakpoint is no fault of its own.
          status = code == EXCEPTION_BREAKPOINT ? DBG_CONTINUE : DBG_EXCEPTION_NOT_HANDLED;
        } else if (code == EXCEPTION_BREAKPOINT && !current->loaderBreakSeen) {
          // The loader's breakpoint when the debugger attaches: the process is mapped, ours go in.
          current->loaderBreakSeen = true;
          if (!options_.breakOn.empty() && (!options_.breakAfterMs || !first)) {
            current->breakpoints = std::make_unique<detail::Breakpoints>(current->handle, options_.breakOn);
          }
        } else if (code == EXCEPTION_BREAKPOINT && first && breakRequested && !current->breakpoints) {
          current->breakpoints = std::make_unique<detail::Breakpoints>(current->handle, options_.breakOn);
        } else if (code == EXCEPTION_BREAKPOINT && current->breakpoints &&
                   current->breakpoints->FunctionAt(static_cast<BYTE*>(exception.ExceptionRecord.ExceptionAddress))) {
          if (OnBreakpoint(current->handle, event, *current->breakpoints)) terminateAll();
        } else if (code == EXCEPTION_SINGLE_STEP && current->breakpoints &&
                   current->breakpoints->Rearm(event.dwThreadId)) {
          // Stepped over a breakpoint's instruction.
        } else if (code != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
          if (!exception.dwFirstChance) result_.crashCode = code;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT: {
        if (!current) break;
        const DWORD code = event.u.ExitProcess.dwExitCode;
        if (event.dwProcessId == info.dwProcessId) result_.exitCode = code;
        result_.lastExitCode = code;
        if (options_.onProcess) {
          ProcessEvent ended;
          ended.processId = event.dwProcessId;
          ended.exitCode = code;
          options_.onProcess(ended);
        }
        followed.erase(found);
        running = !followed.empty();
        break;
      }
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (letGo) DebugActiveProcessStop(event.dwProcessId);
  }
  WaitForSingleObject(process.get(), 5000);
  result_.standardError = ReadFile(errorFile);
  DeleteFileW(errorFile.c_str());
}

bool Debuggee::OnBreakpoint(HANDLE process, const DEBUG_EVENT& event, detail::Breakpoints& breakpoints) {
  portico::KernelHandle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, event.dwThreadId));
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  if (!thread || !GetThreadContext(thread.get(), &context)) throw std::runtime_error("no thread context");
  // The trap has run: the thread stands one byte past the function's start.
  context.Rip = reinterpret_cast<DWORD64>(event.u.Exception.ExceptionRecord.ExceptionAddress);
  BreakpointHit hit;
  hit.function = *breakpoints.FunctionAt(event.u.Exception.ExceptionRecord.ExceptionAddress);
  hit.process = process;
  hit.processId = event.dwProcessId;
  hit.context = &context;
  const HitAction action = options_.onBreak ? options_.onBreak(hit) : HitAction::Continue;
  if (action == HitAction::Terminate) {
    result_.terminatedAtBreak = true;
    TerminateProcess(process, 0xDEAD);
    return true;
  }
  if (action == HitAction::Return) {
    // At the first instruction the return address is on top of the stack; the breakpoint stays armed.
    DWORD64 returnAddress = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(context.Rsp), &returnAddress, sizeof(returnAddress),
                           nullptr)) {
      throw std::runtime_error("no return address");
    }
    context.Rip = returnAddress;
    context.Rsp += sizeof(returnAddress);
    context.Rax = hit.returnValue;
    SetThreadContext(thread.get(), &context);
    return false;
  }
  breakpoints.StepOver(thread.get(), event.dwThreadId, context);
  return false;
}

std::wstring PathOfHandleIn(HANDLE process, HANDLE handle) {
  HANDLE ours = nullptr;
  if (!DuplicateHandle(process, handle, GetCurrentProcess(), &ours, 0, FALSE, DUPLICATE_SAME_ACCESS)) return {};
  const portico::KernelHandle owned(ours);
  return FinalPathOf(ours);
}

std::wstring WideStringIn(HANDLE process, const void* address, size_t most) {
  std::wstring text;
  for (size_t i = 0; address && i < most; ++i) {
    wchar_t c = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, static_cast<const wchar_t*>(address) + i, &c, sizeof(c), &read) || !c) break;
    text += c;
  }
  return text;
}

DebuggeeResult RunDebuggee(const fs::path& program, const std::wstring& arguments, DebuggeeOptions options) {
  Debuggee debuggee(program, arguments, std::move(options));
  return debuggee.Wait();
}

}  // namespace rig
