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

bool Exists(const std::wstring& path) {
  return FitsPathRoom(path) && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

std::optional<std::wstring> FindConfigFile(const std::wstring& modulePath) {
  std::optional<std::wstring> folder = FolderOf(modulePath);
  if (!folder) return std::nullopt;
  std::wstring beside = *folder + kConfigName;
  if (Exists(beside)) return beside;
  std::optional<std::wstring> above = FolderOf(*folder);
  if (!above) return beside;
  return *above + kConfigName;
}

tinyxml2::XMLError LoadConfigFile(const std::wstring& path, tinyxml2::XMLDocument& document) {
  if (path.empty() || !FitsPathRoom(path)) return LoadMissingFile(document);
  std::unique_ptr<FILE, FileCloser> file(_wfopen(path.c_str(), L"rb"));
  if (!file) return LoadMissingFile(document);
  return document.LoadFile(file.get());
}
