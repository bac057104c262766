#include "Host.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "Scratch.h"
#include "WinHandles.h"

namespace fs = std::filesystem;

namespace rig {
namespace {

std::wstring Widened(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// Quoted so that CommandLineToArgvW gives it back whole, which is how Wine splits the arguments it
// hands a host program.
std::wstring Quoted(const std::string& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : Widened(argument)) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

std::string DosDevicesFolder() {
  const std::string drive = HostPath(L"C:\\");  // ".../dosdevices/c:/"
  return drive.substr(0, drive.find_last_of('/', drive.size() - 2));
}

}  // namespace

std::string HostPath(const fs::path& path) {
  using UnixFileName = char*(CDECL*)(const WCHAR*);
  static const auto unixFileName = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixFileName) throw std::runtime_error("not running under Wine");
  char* name = unixFileName(path.c_str());
  if (!name) throw std::runtime_error("no host path");
  std::string hostPath = name;
  HeapFree(GetProcessHeap(), 0, name);
  return hostPath;
}

namespace {

// As the host's shell reads it: inside single quotes, with each quote closed, escaped and reopened.
std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

// Wine reports a host program's end before the program has finished, so the program runs under the
// host's shell, which writes its exit code to a file once it is done.
int RunHostProgram(const std::string& program, const std::vector<std::string>& arguments) {
  const fs::path marker = fs::temp_directory_path() / (UniqueName(L"portico-host-") + L".done");
  std::string command = ShellQuoted(program);
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  const std::string hostMarker = HostPath(marker.parent_path()) + "/" + marker.filename().string();
  command += "; echo $? > " + ShellQuoted(hostMarker + ".part") + " && mv " + ShellQuoted(hostMarker + ".part") + " " +
             ShellQuoted(hostMarker);

  const std::wstring shell = L"Z:\\bin\\sh";
  std::wstring commandLine = Quoted("/bin/sh") + L" -c " + Quoted(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(shell.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    throw std::runtime_error("cannot start a host program (error " + std::to_string(GetLastError()) + ")");
  }
  portico::KernelHandle process(info.hProcess);
  portico::KernelHandle thread(info.hThread);
  const ULONGLONG deadline = GetTickCount64() + 120000;
  while (!fs::exists(marker)) {
    if (GetTickCount64() > deadline) throw std::runtime_error("a host program did not end");
    Sleep(5);
  }
  const int code = std::atoi(ReadFile(marker).c_str());
  std::error_code ignored;
  fs::remove(marker, ignored);
  return code;
}

HostSymlink::HostSymlink(const fs::path& link, const std::string& target) {
  link_ = HostPath(link.parent_path()) + "/" + link.filename().string();
  if (RunHostProgram("/bin/ln", {"-sfn", target, link_}) != 0) throw std::runtime_error("cannot make a host link");
}

HostSymlink::~HostSymlink() { RunHostProgram("/bin/rm", {"-f", link_}); }

MappedDrive::MappedDrive(wchar_t letter, const fs::path& folder)
    : letter_(letter), link_(DosDevicesFolder() + "/" + static_cast<char>(towlower(letter)) + ":") {
  if (RunHostProgram("/bin/ln", {"-sfn", HostPath(folder), link_}) != 0) {
    throw std::runtime_error("cannot map a drive");
  }
}

MappedDrive::~MappedDrive() { RunHostProgram("/bin/rm", {"-f", link_}); }

fs::path MappedDrive::root() const { return std::wstring(1, letter_) + L":\\"; }

}  // namespace rig
