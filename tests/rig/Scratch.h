#pragma once
// Scratch places for one test: a folder and a registry key that are removed when the test ends.

#include <windows.h>

#include <filesystem>
#include <string>

namespace rig {

// Folder of the running test program; Portico.exe and the helper programs are built beside it.
std::filesystem::path BinaryFolder();

// The launcher the tests run: the file of that name built beside them (Portico.exe by default). The
// environment variable PORTICO_RIG_LAUNCHER (a Windows path) names another Portico.exe, such as the
// signed copy of a release; the other launchers are then taken from its folder.
std::filesystem::path LauncherUnderTest(const std::wstring& fileName = L"Portico.exe");

// A name that no other test of this run uses: prefix, process id and a counter.
std::wstring UniqueName(const std::wstring& prefix);

// Writes bytes to a file, creating its folders.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// Lets Everyone add, change and delete what the folder holds, as a folder users made may: Wine keeps
// that grant (as the Unix permission bits for others) and reports it back; a grant to Users it
// does not report. False when it could not be set.
bool GrantEveryoneWrite(const std::filesystem::path& folder);

class ScratchFolder {
 public:
  // A new empty folder below the Windows temporary folder (or below `parent`, when given); `leaf`
  // may hold blanks or any text.
  explicit ScratchFolder(const std::wstring& leaf = L"install", const std::filesystem::path& parent = {});
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Copies a program built beside the test into the folder under the given file name.
  std::filesystem::path CopyProgram(const std::wstring& builtName, const std::wstring& asName) const;

 private:
  std::filesystem::path base_;
  std::filesystem::path path_;
};

class ScratchRegistryKey {
 public:
  // Creates root\subKey (and its parents); the whole tree below subKey is deleted afterwards.
  ScratchRegistryKey(HKEY root, std::wstring subKey);
  ~ScratchRegistryKey();
  ScratchRegistryKey(const ScratchRegistryKey&) = delete;
  ScratchRegistryKey& operator=(const ScratchRegistryKey&) = delete;

  HKEY root() const { return root_; }
  const std::wstring& subKey() const { return subKey_; }
  // Sets a string value (REG_SZ) below the key; an empty name is the default value.
  bool SetString(const std::wstring& name, const std::wstring& value) const;
  // Sets a value of any type from raw bytes.
  bool SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) const;

 private:
  HKEY root_;
  std::wstring subKey_;
};

}  // namespace rig
