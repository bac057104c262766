#include "PorticoClient.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <system_error>
#include <thread>
#endif

namespace portico::client {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

const std::string* ParsedLink::Find(std::string_view name) const {
  for (const auto& item : query) {
    if (item.first == name) return &item.second;
  }
  return nullptr;
}

ParsedLink ParseLink(std::string_view payload) {
  ParsedLink link;
  const size_t hash = payload.find('#');
  if (hash != std::string_view::npos) {
    link.fragment = PercentDecode(payload.substr(hash + 1));
    payload = payload.substr(0, hash);
  }
  const size_t question = payload.find('?');
  link.path = PercentDecode(payload.substr(0, question));
  if (question == std::string_view::npos) return link;
  const std::string_view query = payload.substr(question + 1);
  for (size_t start = 0;;) {
    const size_t end = query.find('&', start);
    const std::string_view item = query.substr(start, end == std::string_view::npos ? end : end - start);
    if (!item.empty()) {
      const size_t equals = item.find('=');
      link.query.emplace_back(PercentDecode(item.substr(0, equals)), equals == std::string_view::npos
                                                                         ? std::string()
                                                                         : PercentDecode(item.substr(equals + 1)));
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return link;
}

std::string_view PayloadOfMessage(std::string_view message) {
  // In every ANSI code page Windows has, a byte 0x22 is a double quote of its own: trail bytes of
  // the double-byte code pages start at 0x40. So the quote can go before the conversion.
  std::string_view payload = message.substr(0, message.find('\0'));
  if (!payload.empty() && payload.back() == '"') payload.remove_suffix(1);
  return payload;
}

#if defined(_WIN32)

namespace {

constexpr DWORD kPipeBufferBytes = 65536;
constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
constexpr size_t kPipePathLimit = 256;  // characters, the prefix included
// The launcher writes its message and closes at once; a writer still connected after this long is
// cut off, so that it cannot keep every later launcher out of the single pipe instance.
constexpr ULONGLONG kConnectionDeadlineMs = 5000;

// This file stands alone in a vendor's project, so it carries its own owners.
class Handle {
 public:
  Handle() = default;
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset(HANDLE handle = nullptr) {
    if (handle_) CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Memory the security and shell functions hand out with LocalAlloc.
template <typename T>
class LocalMemory {
 public:
  LocalMemory() = default;
  explicit LocalMemory(T* memory) : memory_(memory) {}
  ~LocalMemory() {
    if (memory_) LocalFree(memory_);
  }
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  T* get() const { return memory_; }
  T** put() { return &memory_; }

 private:
  T* memory_ = nullptr;
};

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
  return out;
}

// At most kMaxMessageBytes come in, so every length fits an int.
std::string AnsiToUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
  return Utf8(wide.data(), wide.size());
}

std::uint64_t Now() {
  // The precise clock exists from Windows 8 on; Windows 7 has only the clock-tick one.
  using ReadClock = VOID(WINAPI*)(LPFILETIME);
  static const ReadClock precise = reinterpret_cast<ReadClock>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME now{};
  (precise ? precise : GetSystemTimeAsFileTime)(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// The launcher never opens a name with a separator or ".."; a NUL would cut the name short.
bool IsServableName(const std::wstring& name) {
  return !name.empty() && name.size() <= kPipePathLimit - (sizeof(kPipePrefix) / sizeof(wchar_t) - 1) &&
         name.find_first_of(L"\\/") == std::wstring::npos && name.find(L"..") == std::wstring::npos &&
         name.find(L'\0') == std::wstring::npos;
}

// High or above: the process runs elevated (or as SYSTEM).
bool RunsAtHighIntegrity(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<unsigned char> level(size);
  if (!GetTokenInformation(token, TokenIntegrityLevel, level.data(), size, &size)) return false;
  const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(level.data())->Label.Sid;
  const UCHAR count = *GetSidSubAuthorityCount(sid);
  return count > 0 && *GetSidSubAuthority(sid, count - 1) >= SECURITY_MANDATORY_HIGH_RID;
}

// The pipe's security descriptor, and the parts it points into.
struct PipeSecurity {
  LocalMemory<void> accessList;  // self-relative, from its SDDL
  SECURITY_DESCRIPTOR descriptor{};
  alignas(DWORD) unsigned char label[sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) + SECURITY_MAX_SID_SIZE]{};
  alignas(DWORD) unsigned char highSid[SECURITY_MAX_SID_SIZE]{};
};

// Full access for this user, SYSTEM and Administrators, nobody else; "P" keeps inherited entries out.
// An elevated server also labels the pipe high, no write up: a process of the same user without
// elevation passes the access list, but the label keeps it from writing links (the launcher that
// writes to an elevated copy runs elevated too). The label is built as an ACE, not in SDDL: Wine's
// SDDL parser drops "ML" entries without a word.
bool MakePipeSecurity(PipeSecurity& security) {
  Handle token;
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
  token.reset(opened);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<unsigned char> user(size);
  if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return false;
  LocalMemory<wchar_t> sid;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, sid.put())) return false;
  const std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + std::wstring(sid.get()) + L")";
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, security.accessList.put(),
                                                            nullptr)) {
    return false;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(security.accessList.get(), &present, &dacl, &defaulted) ||
      !InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&security.descriptor, TRUE, dacl, FALSE) ||
      !SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return false;
  }
  if (!RunsAtHighIntegrity(token.get())) return true;
  SID_IDENTIFIER_AUTHORITY labels = SECURITY_MANDATORY_LABEL_AUTHORITY;
  auto* acl = reinterpret_cast<ACL*>(security.label);
  if (!InitializeSid(security.highSid, &labels, 1)) return false;
  *GetSidSubAuthority(security.highSid, 0) = SECURITY_MANDATORY_HIGH_RID;
  return InitializeAcl(acl, sizeof(security.label), ACL_REVISION) &&
         AddMandatoryAce(acl, ACL_REVISION, 0, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, security.highSid) &&
         SetSecurityDescriptorSacl(&security.descriptor, TRUE, acl, FALSE);
}

}  // namespace

std::optional<std::string> LinkFromCommandLine() { return LinkFromCommandLine(GetCommandLineW()); }

std::optional<std::string> LinkFromCommandLine(const std::wstring& commandLine) {
  // What CommandLineToArgvW sees ends at the first NUL.
  const std::wstring_view text(commandLine.c_str());
  // The program name follows its own rule: up to the closing quote when it starts with one, else
  // up to the first blank.
  size_t at = 0;
  if (!text.empty() && text[0] == L'"') {
    at = text.find(L'"', 1);
    at = at == std::wstring_view::npos ? text.size() : at + 1;
  } else {
    at = std::min(text.find_first_of(L" \t"), text.size());
  }
  at = text.find_first_not_of(L" \t", at);
  if (at == std::wstring_view::npos || text[at] != L'"') return std::nullopt;
  int count = 0;
  LocalMemory<wchar_t*> arguments(CommandLineToArgvW(text.data(), &count));
  if (!arguments.get() || count < 2) return std::nullopt;
  const wchar_t* payload = arguments.get()[1];
  return Utf8(payload, std::wcslen(payload));
}

struct LinkServer::State {
  std::function<void(const LinkMessage&)> onMessage;
  LinkServerStatus status = LinkServerStatus::failed;
  DWORD error = 0;
  Handle pipe;
  Handle stop;  // set once, when the server goes
  Handle io;    // the event of the overlapped call in flight
  std::thread thread;

  ~State() {
    if (thread.joinable()) {
      SetEvent(stop.get());
      thread.join();
    }
  }

  enum class Io { done, failed, stopping, late };

  // Waits up to `waitMs` for an overlapped call that answered `callError` (0 when it returned
  // TRUE). A stop wins over a completion (and a failed wait ends the serving like a stop); the call
  // is then cancelled and finished, since `overlapped` must outlive it, as it is when time runs out.
  Io Await(DWORD callError, OVERLAPPED& overlapped, DWORD& bytes, DWORD waitMs = INFINITE) {
    bytes = 0;
    if (callError != 0 && callError != ERROR_IO_PENDING) return Io::failed;
    HANDLE events[] = {stop.get(), io.get()};
    const DWORD waited = WaitForMultipleObjects(2, events, FALSE, waitMs);
    if (waited != WAIT_OBJECT_0 + 1) {
      CancelIo(pipe.get());
      GetOverlappedResult(pipe.get(), &overlapped, &bytes, TRUE);
      return waited == WAIT_TIMEOUT ? Io::late : Io::stopping;
    }
    if (GetOverlappedResult(pipe.get(), &overlapped, &bytes, FALSE)) return Io::done;
    return GetLastError() == ERROR_MORE_DATA ? Io::done : Io::failed;
  }

  // Io::done once a writer is connected.
  Io Listen() {
    OVERLAPPED overlapped{};
    overlapped.hEvent = io.get();
    ResetEvent(io.get());
    const DWORD callError = ConnectNamedPipe(pipe.get(), &overlapped) ? 0 : GetLastError();
    // A writer that came (and maybe left) before we listened is connected all the same.
    if (callError == ERROR_PIPE_CONNECTED || callError == ERROR_NO_DATA) return Io::done;
    DWORD unused = 0;
    return Await(callError, overlapped, unused);
  }

  // Reads until the writer closes: Io::done. Io::stopping when the server stops first, Io::late
  // when the writer is still connected at the deadline.
  Io Read(LinkMessage& message) {
    char buffer[4096];
    const ULONGLONG deadline = GetTickCount64() + kConnectionDeadlineMs;
    for (;;) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = io.get();
      DWORD bytes = 0;
      const DWORD callError = ReadFile(pipe.get(), buffer, sizeof(buffer), nullptr, &overlapped) ? 0 : GetLastError();
      const ULONGLONG now = GetTickCount64();
      const Io result = Await(callError, overlapped, bytes, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
      if (result == Io::stopping || result == Io::late) return result;
      if (bytes > 0) {
        if (message.size == 0) message.arrivedAt = Now();
        message.raw.append(buffer, std::min<size_t>(bytes, kMaxMessageBytes - message.raw.size()));
        message.size += bytes;
      }
      // ERROR_BROKEN_PIPE is the writer closing its end; any other failure ends the message too.
      if (result == Io::failed) break;
    }
    if (message.size > 0 && message.size <= kMaxMessageBytes) message.link = AnsiToUtf8(PayloadOfMessage(message.raw));
    return Io::done;
  }

  void Serve() {
    for (;;) {
      const Io listened = Listen();
      if (listened == Io::stopping) return;
      if (listened == Io::failed) {
        // Not expected of a pipe we own; a short pause keeps a lasting failure from spinning.
        DisconnectNamedPipe(pipe.get());
        if (WaitForSingleObject(stop.get(), 100) == WAIT_OBJECT_0) return;
        continue;
      }
      LinkMessage message;
      const Io read = Read(message);
      DisconnectNamedPipe(pipe.get());
      if (read == Io::stopping) return;
      if (read == Io::late) continue;
      try {
        onMessage(message);
      } catch (...) {
        // The handler's failure is its own; the next launcher still gets through.
      }
    }
  }
};

LinkServer::LinkServer(const std::wstring& pipeName, std::function<void(const LinkMessage&)> onMessage)
    : state_(std::make_unique<State>()) {
  State& state = *state_;
  state.onMessage = std::move(onMessage);
  if (!IsServableName(pipeName)) {
    state.status = LinkServerStatus::badName;
    state.error = ERROR_INVALID_NAME;
    return;
  }
  PipeSecurity pipeSecurity;
  state.stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  state.io.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state.stop || !state.io || !MakePipeSecurity(pipeSecurity)) {
    state.error = GetLastError();
    return;
  }
  SECURITY_ATTRIBUTES security{sizeof(security), &pipeSecurity.descriptor, FALSE};
  // One instance, made here first or not at all: a second launcher waits for the busy pipe, and a
  // name another process already serves is refused rather than shared with it.
  state.pipe.reset(CreateNamedPipeW((kPipePrefix + pipeName).c_str(),
                                    PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                    kPipeBufferBytes, kPipeBufferBytes, 0, &security));
  if (!state.pipe) {
    state.error = GetLastError();
    const bool taken = state.error == ERROR_ACCESS_DENIED || state.error == ERROR_PIPE_BUSY;
    state.status = taken ? LinkServerStatus::nameTaken : LinkServerStatus::failed;
    return;
  }
  // Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE and adds an instance to a pipe that allows more;
  // counting the instances catches the shared name there too.
  DWORD instances = 0;
  if (GetNamedPipeHandleStateW(state.pipe.get(), nullptr, &instances, nullptr, nullptr, nullptr, 0) && instances > 1) {
    state.pipe.reset();
    state.error = ERROR_ACCESS_DENIED;
    state.status = LinkServerStatus::nameTaken;
    return;
  }
  try {
    state.thread = std::thread([&state] { state.Serve(); });
  } catch (const std::system_error&) {
    state.pipe.reset();
    state.error = ERROR_NOT_ENOUGH_MEMORY;
    return;
  }
  state.status = LinkServerStatus::serving;
}

LinkServer::~LinkServer() = default;

LinkServerStatus LinkServer::status() const { return state_->status; }

unsigned long LinkServer::error() const { return state_->error; }

#endif  // _WIN32

}  // namespace portico::client
