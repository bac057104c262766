#include "Inventory.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "ClientRecord.h"
#include "WinHandles.h"

namespace {

struct FoundFile {
  std::string relative;  // UTF-8, backslash-separated
  std::wstring full;
};

void Collect(const std::wstring& folder, const std::wstring& relative, const std::vector<std::wstring>& skipped,
             std::vector<FoundFile>& found) {
  WIN32_FIND_DATAW entry{};
  portico::FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring full = folder + L"\\" + name;
    const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) Collect(full, path, skipped, found);
    } else if (std::none_of(skipped.begin(), skipped.end(),
                            [&](const std::wstring& skip) { return _wcsicmp(skip.c_str(), full.c_str()) == 0; })) {
      found.push_back({ToUtf8(path), full});
    }
  } while (FindNextFileW(find.get(), &entry));
}

std::string Describe(const FoundFile& file) {
  const std::string line = "saw " + EscapeBytes(file.relative) + " ";
  // Shared every way: the running program itself, and files other processes hold open, are read too.
  portico::FileHandle in(CreateFileW(file.full.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) return line + "unreadable, error " + std::to_string(GetLastError());
  std::vector<Bytef> buffer(65536);
  uLong crc = crc32(0, Z_NULL, 0);
  unsigned long long size = 0;
  DWORD read = 0;
  for (;;) {
    if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return line + "unreadable, error " + std::to_string(GetLastError());
    }
    if (read == 0) break;
    crc = crc32(crc, buffer.data(), read);
    size += read;
  }
  char crcText[16];
  std::snprintf(crcText, sizeof(crcText), "%08lx", static_cast<unsigned long>(crc & 0xFFFFFFFFu));
  return line + std::to_string(size) + " " + crcText;
}

}  // namespace

std::vector<std::string> InventoryLines(const std::wstring& folder, const std::vector<std::wstring>& skipped) {
  std::vector<FoundFile> found;
  Collect(folder, L"", skipped, found);
  std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.relative < b.relative; });
  std::vector<std::string> lines;
  for (const FoundFile& file : found) lines.push_back(Describe(file));
  return lines;
}
