#pragma once
// A scratch installation of the launcher: Portico.exe (or another launcher file), ProductConfig.xml
// and SampleClient under the configured program name, with a temp folder. It starts copies of the
// client, runs the launcher as a debuggee, and reads what the client recorded. Every copy of the
// client still running is ended when the installation goes.

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Debuggee.h"
#include "Scratch.h"

namespace rig {

// A file SampleClient saw below its folder at start (with inventory=1).
struct SeenFile {
  std::string path;  // UTF-8, relative, backslash-separated
  bool readable = false;
  unsigned long long size = 0;
  unsigned long crc = 0;
};

// What one run of SampleClient recorded.
struct ClientStart {
  DWORD pid = 0;
  std::string workingFolder;           // UTF-8
  std::string commandLine;             // UTF-8, exactly as the process received it
  std::vector<std::string> arguments;  // UTF-8, as CommandLineToArgvW splits it, program name excluded
  std::vector<SeenFile> inventory;     // in the order recorded
  HWND visibleWindow = nullptr;        // with helperwindow=1
  HWND hiddenWindow = nullptr;
  bool hanging = false;  // with hang=1, once its window thread stopped pumping
};

struct ClientRecord {
  std::vector<ClientStart> starts;
  std::vector<std::string> pipeMessages;  // exact bytes of each message
};

// The escaped record text back into bytes.
std::string UnescapeBytes(const std::string& escaped);
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

struct RunningClient {
  DWORD pid = 0;
  HANDLE process = nullptr;  // owned by the installation
  HWND window = nullptr;     // its top-level window, when it has one
};

class Installation {
 public:
  // A folder named `leaf` (below `parent`, when given; else below the Windows temporary folder) with
  // unique program, scheme and pipe names, and the launcher built beside the tests as `launcherFile`
  // (see LauncherUnderTest).
  explicit Installation(const std::wstring& leaf = L"install", const std::wstring& launcherFile = L"Portico.exe",
                        const std::filesystem::path& parent = {});
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  const std::filesystem::path& folder() const { return scratch_.path(); }
  std::filesystem::path launcher() const { return folder() / launcherFile_; }
  const std::wstring& progName() const { return progName_; }
  const std::wstring& scheme() const { return scheme_; }
  const std::wstring& pipe() const { return pipe_; }

  // ProductConfig.xml with the unique names and the given extra settings (XML inside the root);
  // `protocol` spells the scheme in Protocol when it is not empty.
  void WriteConfig(const std::string& extraXml = "", const std::wstring& protocol = L"");
  void WriteRawConfig(const std::string& bytes);
  // SampleClient's settings beside it ("pipe=...", "window=..."), for copies the launcher starts.
  void WriteClientSettings(const std::string& settings) const;
  // The record the copies of the client write, to read lines Record() does not gather.
  std::filesystem::path RecordFile() const;
  // The interface language value under HKEY_CURRENT_USER\SOFTWARE\<bare name>\Language.
  void SetLanguage(const std::wstring& value);

  // Starts a copy of the client directly. window: "normal", "minimized" or "none". With
  // `servePipe`, it serves the configured pipe. Waits until it is up.
  RunningClient StartClient(const std::wstring& window = L"normal", bool servePipe = true);
  // A copy of the client under another name (or the same), in a subfolder, for name-matching tests;
  // with `servePipe` it serves the configured pipe.
  RunningClient StartClientAs(const std::wstring& fileName, const std::wstring& window = L"normal",
                              bool servePipe = false);
  // A copy that other processes may query (PROCESS_QUERY_LIMITED_INFORMATION) but neither open with
  // full rights nor end. With `lockToken` its token cannot be read either: under Wine, where every
  // process runs as one user, that stands in for another user's copy. It serves no pipe.
  RunningClient StartClientOutOfReach(const std::wstring& window, bool lockToken);

  // Runs the launcher with `commandLine` (the text after its own path) and waits for it.
  DebuggeeResult RunLauncher(const std::wstring& commandLine, DebuggeeOptions options = {});

  ClientRecord Record() const;
  // Waits until the record holds `starts` starts (or `messages` pipe messages); false on time-out.
  bool WaitForStarts(size_t starts, DWORD timeoutMs = 15000) const;
  bool WaitForMessages(size_t messages, DWORD timeoutMs = 15000) const;

  // The exit code of a copy once it ended; STILL_ACTIVE while it runs (waits up to timeoutMs).
  static DWORD ExitCodeOf(const RunningClient& client, DWORD timeoutMs = 0);
  // Ends every running copy of the client, and waits for them to go.
  void EndClients() const;
  // Whether any process with the program name runs now.
  bool AnyCopyRunning() const;

 private:
  enum class Reach { Full, QueryOnly, QueryOnlyTokenLocked };
  RunningClient Launch(const std::filesystem::path& program, const std::wstring& window, bool servePipe,
                       Reach reach = Reach::Full);

  ScratchFolder scratch_;
  std::wstring launcherFile_;
  std::wstring progName_;
  std::wstring scheme_;
  std::wstring pipe_;
  std::unique_ptr<ScratchRegistryKey> languageKey_;
  std::vector<HANDLE> started_;
  std::vector<std::wstring> namesToEnd_;
};

// The id of a running process with this image name, waiting for one to appear; 0 on time-out.
DWORD WaitForProcess(const std::wstring& imageName, DWORD timeoutMs = 15000);

// Holds keys down with SendInput for its lifetime.
class HeldKeys {
 public:
  explicit HeldKeys(std::vector<WORD> keys);
  ~HeldKeys();

 private:
  std::vector<WORD> keys_;
};

}  // namespace rig
