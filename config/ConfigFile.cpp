#include "ConfigFile.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

constexpr size_t kPathRoom = 260;  // the platform's path limit, with the terminating zero
constexpr wchar_t kConfigName[] = L"\\ProductConfig.xml";

bool FitsPathRoom(const std::wstring& path) { return path.size() < kPathRoom; }

std::optional<std::wstring> FolderOf(const std::wstring& path) {
  size_t cut = path.rfind(L'\\');
  if (cut == std::wstring::npos) return std::nullopt;
  return path.substr(0, cut);
}

// The long-path form, so that a file whose path does not fit the room can still be seen to be there.
std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC" + path.substr(1);
  return L"\\\\?\\" + path;
}

tinyxml2::XMLError LoadMissingFile(tinyxml2::XMLDocument& document) {
  // LoadFile(FILE*) has no way to say "not found", and the error setter is private. No file
  // system opens an empty name, so this reports exactly what LoadFile(name) reports for a file
  // that is not there.
  return document.LoadFile("");
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

FileReach ReachOf(const std::wstring& path) {
  // A path that does not fit the room is still looked at, so that a file there is seen to be there.
  const std::wstring asked = FitsPathRoom(path) ? path : ExtendedLengthPath(path);
  if (GetFileAttributesW(asked.c_str()) != INVALID_FILE_ATTRIBUTES) return FileReach::kPresent;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileReach::kMissing : FileReach::kUnreachable;
}

std::optional<std::wstring> FindConfigFile(const std::wstring& modulePath) {
  std::optional<std::wstring> folder = FolderOf(modulePath);
  if (!folder) return std::nullopt;
  std::wstring beside = *folder + kConfigName;
  std::optional<std::wstring> above = FolderOf(*folder);
  if (PlaceOfConfig(ReachOf(beside), above.has_value()) == ConfigPlace::kBeside) return beside;
  return *above + kConfigName;
}

tinyxml2::XMLError LoadConfigFile(const std::wstring& path, tinyxml2::XMLDocument& document) {
  if (path.empty() || !FitsPathRoom(path)) return LoadMissingFile(document);
  std::unique_ptr<FILE, FileCloser> file(_wfopen(path.c_str(), L"rb"));
  if (!file) return LoadMissingFile(document);
  return document.LoadFile(file.get());
}
