#include "UpdateStamp.h"

#include <windows.h>

#include <string>
#include <vector>

#include "FileReplace.h"
#include "OrphanName.h"
#include "UpdateStampText.h"

std::optional<uint64_t> ReadUpdateStamp(const std::wstring& root) {
  portico::FileHandle file(CreateFileW((root + kUpdateStampName).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return 0;
    return std::nullopt;
  }
  char text[kMaxStampBytes + 1];
  DWORD read = 0;
  if (!ReadFile(file.get(), text, sizeof text, &read, nullptr)) return std::nullopt;
  return ParseUpdateStamp(std::string_view(text, read));
}

bool WriteUpdateStamp(const std::wstring& root, uint64_t seconds) {
  std::wstring temporary;
  portico::FileHandle file = CreateOrphanFile(root, FILE_ATTRIBUTE_NORMAL, temporary);
  if (!file) return false;
  const std::string text = std::to_string(seconds) + "\n";
  DWORD written = 0;
  std::vector<std::wstring> movedAside;
  if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size() || !FlushFileBuffers(file.get())) {
    DiscardOpenFile(file);
    return false;
  }
  if (PutInPlace(file, temporary, root + kUpdateStampName, movedAside)) return true;
  if (file) {
    DiscardOpenFile(file);
  } else {
    DeleteAnyFile(temporary);
  }
  return false;
}

bool HasUpdateStamp(const std::wstring& folder) {
  const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
  return GetFileAttributesW((folder + (separated ? L"" : L"\\") + kUpdateStampName).c_str()) != INVALID_FILE_ATTRIBUTES;
}
