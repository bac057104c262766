#include "StateFiles.h"

#include <windows.h>

#include <bcrypt.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "UpdaterText.h"
#include "WinHandles.h"

namespace portico::client::updater {

bool ReadSmallFile(const std::wstring& path, size_t limit, std::string& bytes) {
  portico::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > limit) {
    return false;
  }
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  size_t total = 0;
  while (total < bytes.size()) {
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data() + total, static_cast<DWORD>(bytes.size() - total), &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    total += read;
  }
  bytes.resize(total);
  return true;
}

bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes) {
  const std::wstring fresh = path + L".new";
  {
    portico::FileHandle file(
        CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !FlushFileBuffers(file.get())) {
      file.reset();
      DeleteFileW(fresh.c_str());
      return false;
    }
  }
  if (MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  DeleteFileW(fresh.c_str());
  return false;
}

bool EnsureFolder(const std::wstring& folder) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(folder), error);
  return std::filesystem::is_directory(std::filesystem::path(folder), error);
}

std::uint32_t InstallationBucket(const std::wstring& stateFolder) {
  const std::wstring path = stateFolder + L"\\bucket";
  std::string kept;
  if (ReadSmallFile(path, 16, kept)) {
    if (!kept.empty() && kept.back() == '\n') kept.pop_back();
    if (const std::optional<std::uint64_t> bucket = ParseDecimal(kept, 9999))
      return static_cast<std::uint32_t>(*bucket);
  }
  // Drawn until it lies below the largest multiple of 10000, so that every bucket is equally likely.
  std::uint32_t draw = 0;
  for (;;) {
    if (!BCRYPT_SUCCESS(
            BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&draw), sizeof(draw), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      // Not secret, only spread: a clock-based bucket still serves the rollout.
      draw = GetTickCount() ^ GetCurrentProcessId();
      break;
    }
    if (draw < 4294960000u) break;
  }
  const std::uint32_t bucket = draw % 10000;
  EnsureFolder(stateFolder);
  ReplaceFileBytes(path, std::to_string(bucket) + "\n");
  return bucket;
}

}  // namespace portico::client::updater
