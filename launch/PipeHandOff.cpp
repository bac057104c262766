#include "PipeHandOff.h"

#include <windows.h>

#include <vector>

#include "LaunchText.h"
#include "WinHandles.h"

namespace {

constexpr size_t kMessageLimit = 10240;  // bytes, the NUL included
// A copy that is serving another client gets this long to become free, once.
constexpr DWORD kBusyPipeWaitMs = 2000;

portico::PipeHandle OpenPipe(const std::wstring& path) {
  auto open = [&] {
    return portico::PipeHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  portico::PipeHandle pipe = open();
  if (!pipe && GetLastError() == ERROR_PIPE_BUSY && WaitNamedPipeW(path.c_str(), kBusyPipeWaitMs)) {
    pipe = open();
  }
  return pipe;
}

}  // namespace

int HandOffPayload(const std::wstring& payload, const std::wstring& pipeName) {
  // A name with separators or ".." could leave the pipe namespace and open an ordinary file.
  if (!IsSafePipeName(pipeName)) return 1;

  // The length the conversion reports counts the terminating NUL.
  int length = WideCharToMultiByte(CP_ACP, 0, payload.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0 || static_cast<size_t>(length) > kMessageLimit) return 1;
  std::vector<char> message(kMessageLimit, '\0');
  WideCharToMultiByte(CP_ACP, 0, payload.c_str(), -1, message.data(), length, nullptr, nullptr);

  portico::PipeHandle pipe = OpenPipe(L"\\\\.\\Pipe\\" + pipeName);
  if (!pipe) return 1;
  DWORD written = 0;
  if (!WriteFile(pipe.get(), message.data(), static_cast<DWORD>(length), &written, nullptr) ||
      written != static_cast<DWORD>(length)) {
    return 1;
  }
  return 0;
}
