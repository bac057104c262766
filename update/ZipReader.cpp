#include "ZipReader.h"

#include <windows.h>

#include <iowin32.h>

#include <atomic>
#include <climits>
#include <string>
#include <vector>

#include "DosDateTime.h"
#include "EnsureFolder.h"
#include "EntryAttributes.h"
#include "EntryName.h"
#include "ExtendedTimestamp.h"
#include "PathGuard.h"
#include "WinHandles.h"

namespace {

constexpr size_t kPathRoom = MAX_PATH;  // 259 characters and the terminator
constexpr uLong kEncryptedFlag = 0x0001;
constexpr uLong kStored = 0;
constexpr uLong kDeflated = 8;
constexpr int kTemporaryNameAttempts = 100;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAbsolute(const std::wstring& path) {
  return (!path.empty() && IsSeparator(path[0])) || (path.size() >= 2 && path[1] == L':');
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FILETIME ToFileTime(uint64_t count) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(count);
  time.dwHighDateTime = static_cast<DWORD>(count >> 32);
  return time;
}

// The DOS stamp is the local time of the machine that made the archive, taken as ours.
uint64_t DosStampToFileTime(uLong dosDate) {
  const std::optional<CalendarTime> calendar =
      DecodeDosDateTime(static_cast<uint16_t>(dosDate >> 16), static_cast<uint16_t>(dosDate & 0xFFFF));
  if (!calendar) return 0;
  SYSTEMTIME system{};
  system.wYear = static_cast<WORD>(calendar->year);
  system.wMonth = static_cast<WORD>(calendar->month);
  system.wDay = static_cast<WORD>(calendar->day);
  system.wHour = static_cast<WORD>(calendar->hour);
  system.wMinute = static_cast<WORD>(calendar->minute);
  system.wSecond = static_cast<WORD>(calendar->second);
  FILETIME local;
  FILETIME utc;
  if (!SystemTimeToFileTime(&system, &local) || !LocalFileTimeToFileTime(&local, &utc)) return 0;
  return (static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

void ApplyTimes(HANDLE file, const ZipEntryInfo& info) {
  const FILETIME creation = ToFileTime(info.creationTime);
  const FILETIME access = ToFileTime(info.accessTime);
  const FILETIME write = ToFileTime(info.writeTime);
  SetFileTime(file, info.creationTime ? &creation : nullptr, info.accessTime ? &access : nullptr,
              info.writeTime ? &write : nullptr);
}

// The local header must agree with the central directory; minizip checks that when an entry's
// data is opened. Opened raw, nothing is inflated and no checksum is judged on closing.
ZipStatus ReadLocalExtraField(unzFile archive, std::vector<uint8_t>& extra) {
  int method = 0;
  int level = 0;
  if (unzOpenCurrentFile2(archive, &method, &level, 1) != UNZ_OK) return ZipStatus::CorruptArchive;
  ZipStatus status = ZipStatus::Success;
  const int size = unzGetLocalExtrafield(archive, nullptr, 0);
  if (size < 0) {
    status = ZipStatus::ReadError;
  } else if (size > 0) {
    extra.resize(static_cast<size_t>(size));
    if (unzGetLocalExtrafield(archive, extra.data(), static_cast<unsigned>(size)) != size) {
      status = ZipStatus::ReadError;
    }
  }
  unzCloseCurrentFile(archive);
  return status;
}

ZipStatus CopyEntryData(unzFile archive, unsigned char* buffer, HANDLE file) {
  for (;;) {
    const int count = unzReadCurrentFile(archive, buffer, ZipReader::kTransferBufferSize);
    if (count == UNZ_ERRNO) return ZipStatus::ReadError;
    if (count < 0) return ZipStatus::InflateError;
    if (count > 0) {
      DWORD written = 0;
      if (!WriteFile(file, buffer, static_cast<DWORD>(count), &written, nullptr) ||
          written != static_cast<DWORD>(count)) {
        return ZipStatus::WriteError;
      }
    }
    if (unzeof(archive)) return ZipStatus::Success;
    if (count == 0) return ZipStatus::InflateError;
  }
}

// A new file beside the one it will replace, so that the replacement is a rename on one volume.
portico::FileHandle CreateTemporaryFile(const std::wstring& folder, DWORD attributes, std::wstring& path) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    path = folder + L"~pt" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter) + L".tmp";
    if (path.size() >= kPathRoom) break;
    portico::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, attributes, nullptr));
    if (file || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  path.clear();
  return portico::FileHandle();
}

// Deletes what the handle names, wherever that turned out to be, rather than whatever the name names.
void DiscardOpenFile(portico::FileHandle& file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
  file.reset();
}

void RemoveTemporaryFile(const std::wstring& path) {
  if (path.empty()) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
  DeleteFileW(path.c_str());
}

// An earlier update may have left the installed file read-only; that alone must not stop this
// one. When the rename fails, the old file gets its attribute back.
bool ReplaceInstalledFile(const std::wstring& temporary, const std::wstring& path) {
  const DWORD old = GetFileAttributesW(path.c_str());
  const bool readOnly =
      old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY) && !(old & FILE_ATTRIBUTE_DIRECTORY);
  if (readOnly) {
    const DWORD writable = old & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(path.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
  }
  if (MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  if (readOnly) SetFileAttributesW(path.c_str(), old);
  return false;
}

// Windows carries the creation time of a file that was just replaced over to the file that takes
// its name ("tunnelling"), so the times go on again once the new file is in place.
void ReapplyTimes(const std::wstring& path, const ZipEntryInfo& info) {
  portico::FileHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) ApplyTimes(file.get(), info);
}

}  // namespace

ZipReader::~ZipReader() { Close(); }

ZipStatus ZipReader::Open(const std::wstring& archivePath, const std::wstring& rootFolder) {
  if (archive_) return ZipStatus::AlreadyOpen;
  if (rootFolder.empty()) return ZipStatus::BadArgument;
  std::wstring root = rootFolder;
  if (!IsSeparator(root.back())) root += L'\\';
  if (root.size() >= kPathRoom) return ZipStatus::BadArgument;

  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  unzFile archive = unzOpen2_64(archivePath.c_str(), &functions);
  if (!archive) {
    const bool exists = GetFileAttributesW(archivePath.c_str()) != INVALID_FILE_ATTRIBUTES;
    return exists ? ZipStatus::CorruptArchive : ZipStatus::CannotOpenOrCreate;
  }
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) {
    unzClose(archive);
    return ZipStatus::CorruptArchive;
  }
  archive_ = archive;
  root_ = root;
  finalRoot_ = FinalPathOfFolder(root);
  count_ = global.number_entry > INT32_MAX ? INT32_MAX : static_cast<int32_t>(global.number_entry);
  current_ = 0;
  openIndex_ = -1;
  describedIndex_ = -1;
  ensuredFolder_.clear();
  return ZipStatus::Success;
}

ZipStatus ZipReader::GetEntry(int32_t index, ZipEntryInfo& info) {
  if (!archive_) return ZipStatus::BadArgument;
  if (index == -1) {
    info = ZipEntryInfo{};
    info.index = count_;
    return ZipStatus::Success;
  }
  if (index < 0 || index >= count_) return ZipStatus::BadArgument;
  CloseOpenEntry();
  info = ZipEntryInfo{};
  info.index = index;

  ZipStatus status = GoToEntry(index);
  if (status != ZipStatus::Success) return status;
  if (index == describedIndex_) {
    info = described_;
    return ZipStatus::Success;
  }
  unz_file_info64 central{};
  char name[kEntryNameRoom];
  if (unzGetCurrentFileInfo64(archive_, &central, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) {
    return ZipStatus::CorruptArchive;
  }
  if (central.compression_method != kStored && central.compression_method != kDeflated) {
    return ZipStatus::CorruptArchive;
  }
  std::vector<uint8_t> extra;
  status = ReadLocalExtraField(archive_, extra);
  if (status != ZipStatus::Success) return status;

  info.name = CleanEntryName(DecodeEntryName(name, central.size_filename));
  info.attributes =
      DecodeEntryAttributes(static_cast<uint16_t>(central.version), static_cast<uint32_t>(central.external_fa));
  const uint64_t stamp = DosStampToFileTime(central.dosDate);
  info.accessTime = info.creationTime = info.writeTime = stamp;
  const ExtendedTimestamp extended = ParseExtendedTimestamp(extra.data(), extra.size());
  if (extended.write) info.writeTime = UnixTimeToFileTime(*extended.write);
  if (extended.access) info.accessTime = UnixTimeToFileTime(*extended.access);
  if (extended.creation) info.creationTime = UnixTimeToFileTime(*extended.creation);
  info.compressedSize = static_cast<int32_t>(central.compressed_size);
  info.uncompressedSize = static_cast<int32_t>(central.uncompressed_size);
  describedIndex_ = index;
  described_ = info;
  describedEncrypted_ = (central.flag & kEncryptedFlag) != 0;
  return ZipStatus::Success;
}

ZipStatus ZipReader::ExtractEntry(int32_t index, const std::wstring& destination) {
  if (!archive_) return ZipStatus::BadArgument;
  CloseOpenEntry();
  if (index < 0 || index >= count_ || destination.empty()) return ZipStatus::BadArgument;
  ZipEntryInfo info;
  const ZipStatus status = GetEntry(index, info);
  if (status != ZipStatus::Success) return status;

  const std::wstring base = IsAbsolute(destination) ? std::wstring() : root_;
  // Some archivers mark folders by the trailing separator of the name alone.
  if ((info.attributes & kAttributeDirectory) || IsSeparator(destination.back())) {
    EnsureFolder(base, destination);
    return IsFolder(base + destination) ? ZipStatus::Success : ZipStatus::CannotOpenOrCreate;
  }
  const size_t separator = destination.find_last_of(L"\\/");
  const std::wstring folder = separator == std::wstring::npos ? std::wstring() : destination.substr(0, separator + 1);
  const std::wstring path = base + destination;
  if (path.size() >= kPathRoom) return ZipStatus::CannotOpenOrCreate;
  if (base + folder != ensuredFolder_) {
    EnsureFolder(base, folder);
    ensuredFolder_ = IsFolder(base + folder) ? base + folder : std::wstring();
  }
  return WriteFileEntry(info, base + folder, path, !base.empty());
}

ZipStatus ZipReader::WriteFileEntry(const ZipEntryInfo& info, const std::wstring& folder, const std::wstring& path,
                                    bool belowRoot) {
  bool encrypted = describedEncrypted_;
  if (describedIndex_ != info.index) {
    unz_file_info64 central{};
    if (unzGetCurrentFileInfo64(archive_, &central, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      return ZipStatus::CorruptArchive;
    }
    encrypted = (central.flag & kEncryptedFlag) != 0;
  }
  // No password is ever given, so an encrypted entry cannot be read.
  if (encrypted) return ZipStatus::PasswordRequired;

  const DWORD attributes = info.attributes ? info.attributes : FILE_ATTRIBUTE_NORMAL;
  std::wstring temporary;
  portico::FileHandle file = CreateTemporaryFile(folder, attributes, temporary);
  if (!file) return ZipStatus::CannotOpenOrCreate;
  // A folder swapped for a link after the names were checked still cannot lead the data outside.
  if (belowRoot && !LiesBelow(FinalPathOf(file.get()), finalRoot_)) {
    DiscardOpenFile(file);
    return ZipStatus::UnsafePath;
  }
  if (unzOpenCurrentFile(archive_) != UNZ_OK) {
    file.reset();
    RemoveTemporaryFile(temporary);
    return ZipStatus::CorruptArchive;
  }
  openIndex_ = info.index;
  if (!buffer_) buffer_.reset(new unsigned char[kTransferBufferSize]);

  ZipStatus status = CopyEntryData(archive_, buffer_.get(), file.get());
  if (status == ZipStatus::Success) ApplyTimes(file.get(), info);
  file.reset();
  // minizip compares the CRC-32 when the whole entry was read and its data is closed.
  const int closed = unzCloseCurrentFile(archive_);
  openIndex_ = -1;
  if (status == ZipStatus::Success && closed == UNZ_CRCERROR) status = ZipStatus::ChecksumMismatch;
  if (status == ZipStatus::Success && !ReplaceInstalledFile(temporary, path)) status = ZipStatus::CannotOpenOrCreate;
  if (status != ZipStatus::Success) {
    RemoveTemporaryFile(temporary);
    return status;
  }
  ReapplyTimes(path, info);
  return ZipStatus::Success;
}

ZipStatus ZipReader::Close() {
  CloseOpenEntry();
  if (archive_) unzClose(archive_);
  archive_ = nullptr;
  buffer_.reset();
  count_ = 0;
  current_ = 0;
  describedIndex_ = -1;
  ensuredFolder_.clear();
  return ZipStatus::Success;
}

ZipStatus ZipReader::GoToEntry(int32_t index) {
  if (index < current_) {
    if (unzGoToFirstFile(archive_) != UNZ_OK) {
      current_ = INT32_MAX;  // unknown: the next call starts from the first entry again
      return ZipStatus::CorruptArchive;
    }
    current_ = 0;
  }
  while (current_ < index) {
    if (unzGoToNextFile(archive_) != UNZ_OK) {
      current_ = INT32_MAX;
      return ZipStatus::CorruptArchive;
    }
    ++current_;
  }
  return ZipStatus::Success;
}

void ZipReader::CloseOpenEntry() {
  if (openIndex_ == -1) return;
  unzCloseCurrentFile(archive_);
  openIndex_ = -1;
}
