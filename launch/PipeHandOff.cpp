#include "PipeHandOff.h"

#include <vector>

#include "LaunchText.h"
#include "WinHandles.h"

namespace {

constexpr size_t kMessageLimit = 10240;  // bytes, the NUL included
// A copy that is serving another client gets this long, in all, to become free.
constexpr DWORD kBusyPipeWaitMs = 2000;
// A server that never reads must not hold the launcher.
constexpr DWORD kWriteTimeoutMs = 5000;

// Identification only: whoever serves the name may learn who connected, but cannot act as the
// elevated launcher.
portico::PipeHandle OpenPipe(const std::wstring& path) {
  auto open = [&] {
    return portico::PipeHandle(CreateFileW(
        path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
  };
  const ULONGLONG deadline = GetTickCount64() + kBusyPipeWaitMs;
  portico::PipeHandle pipe = open();
  // The wait ends when the other client lets go, which can be before the server listens again, and
  // another client can take the pipe first: busy once more is waited for again, within the bound.
  while (!pipe && GetLastError() == ERROR_PIPE_BUSY) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    WaitNamedPipeW(path.c_str(), static_cast<DWORD>(deadline - now));
    pipe = open();
  }
  return pipe;
}

// Any process can serve a pipe name first; the link is meant for the copy that was brought up. Held
// open, that copy keeps its id even after it ended, so the id is compared only while it runs.
bool ServedBy(HANDLE pipe, DWORD processId, HANDLE process) {
  ULONG server = 0;
  return GetNamedPipeServerProcessId(pipe, &server) && server == processId &&
         (!process || WaitForSingleObject(process, 0) == WAIT_TIMEOUT);
}

bool WriteWithin(HANDLE pipe, const char* data, DWORD length, DWORD timeoutMs) {
  portico::KernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return false;
  OVERLAPPED overlapped{};
  overlapped.hEvent = done.get();
  DWORD written = 0;
  if (!WriteFile(pipe, data, length, nullptr, &overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(done.get(), timeoutMs) != WAIT_OBJECT_0) {
      // The write must be over before `overlapped` goes out of scope.
      CancelIo(pipe);
      GetOverlappedResult(pipe, &overlapped, &written, TRUE);
      return false;
    }
  }
  return GetOverlappedResult(pipe, &overlapped, &written, FALSE) && written == length;
}

}  // namespace

int HandOffPayload(const std::wstring& payload, const std::wstring& pipeName, DWORD targetProcessId,
                   HANDLE targetProcess) {
  // A name with separators or ".." could leave the pipe namespace and open an ordinary file.
  if (!IsSafePipeName(pipeName)) return 1;

  // The length the conversion reports counts the terminating NUL.
  int length = WideCharToMultiByte(CP_ACP, 0, payload.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0 || static_cast<size_t>(length) > kMessageLimit) return 1;
  std::vector<char> message(kMessageLimit, '\0');
  WideCharToMultiByte(CP_ACP, 0, payload.c_str(), -1, message.data(), length, nullptr, nullptr);

  // The client may bring itself to the front when it handles the link; the launcher holds that
  // right only while the user's click is fresh.
  AllowSetForegroundWindow(targetProcessId);
  portico::PipeHandle pipe = OpenPipe(L"\\\\.\\Pipe\\" + pipeName);
  if (!pipe || !ServedBy(pipe.get(), targetProcessId, targetProcess)) return 1;
  return WriteWithin(pipe.get(), message.data(), static_cast<DWORD>(length), kWriteTimeoutMs) ? 0 : 1;
}
