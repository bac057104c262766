#include "InstalledFiles.h"

#include <utility>

#include "WinHandles.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Names are compared as the file system compares them: without regard to case.
std::wstring Key(std::wstring name) {
  for (wchar_t& c : name) {
    if (c == L'/') c = L'\\';
  }
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

}  // namespace

InstalledFiles::InstalledFiles(std::wstring root) : root_(std::move(root)) {}

const InstalledFiles::Listing& InstalledFiles::ListingOf(const std::wstring& folder) {
  const std::wstring key = Key(folder);
  auto it = folders_.find(key);
  if (it != folders_.end()) return it->second;
  Listing& listing = folders_[key];
  WIN32_FIND_DATAW found{};
  portico::FindHandle search(FindFirstFileExW((root_ + folder + L"*").c_str(), FindExInfoStandard, &found,
                                              FindExSearchNameMatch, nullptr, 0));
  if (!search) return listing;
  do {
    const InstalledFile file{found.dwFileAttributes,
                             (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow};
    listing[Key(found.cFileName)] = file;
    if (found.cAlternateFileName[0]) listing[Key(found.cAlternateFileName)] = file;
  } while (FindNextFileW(search.get(), &found));
  return listing;
}

std::optional<InstalledFile> InstalledFiles::Find(const std::wstring& relative) {
  std::wstring path = relative;
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  const size_t separator = path.find_last_of(L"\\/");
  const std::wstring folder = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
  const Listing& listing = ListingOf(folder);
  auto it = listing.find(Key(path.substr(folder.size())));
  if (it == listing.end()) return std::nullopt;
  return it->second;
}

bool InstalledFiles::CrossesReparsePoint(const std::wstring& relative) {
  for (size_t end = 0; end <= relative.size(); ++end) {
    if (end < relative.size() && !IsSeparator(relative[end])) continue;
    if (end == 0 || IsSeparator(relative[end - 1])) continue;
    const std::optional<InstalledFile> component = Find(relative.substr(0, end));
    // What does not exist yet is made below a folder just checked.
    if (!component) return false;
    if (component->attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  }
  return false;
}
