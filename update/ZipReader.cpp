#include "ZipReader.h"

#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "DosDateTime.h"
#include "EnsureFolder.h"
#include "EntryAttributes.h"
#include "EntryName.h"
#include "ExtendedTimestamp.h"
#include "FileReplace.h"
#include "PathGuard.h"
#include "WinHandles.h"

namespace {

constexpr size_t kPathRoom = MAX_PATH;  // 259 characters and the terminator
constexpr uLong kEncryptedFlag = 0x0001;
constexpr uLong kStored = 0;
constexpr uLong kDeflated = 8;

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

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

// A folder's key among those already swept: the file system ignores case.
std::wstring FolderKey(std::wstring folder) {
  CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  return folder;
}

}  // namespace

ZipReader::~ZipReader() { Close(); }

ZipStatus ZipReader::Open(const std::wstring& archivePath, const std::wstring& rootFolder) {
  if (archive_) return ZipStatus::AlreadyOpen;
  auto source = std::make_unique<ArchiveSource>();
  if (!source->Open(archivePath)) return ZipStatus::CannotOpenOrCreate;
  const ZipStatus status = Open(*source, rootFolder);
  if (status == ZipStatus::Success) ownedSource_ = std::move(source);
  return status;
}

ZipStatus ZipReader::Open(ArchiveSource& source, const std::wstring& rootFolder) {
  if (archive_) return ZipStatus::AlreadyOpen;
  if (rootFolder.empty()) return ZipStatus::BadArgument;
  std::wstring root = rootFolder;
  if (!IsSeparator(root.back())) root += L'\\';
  if (root.size() >= kPathRoom) return ZipStatus::BadArgument;

  zlib_filefunc64_def functions = source.Functions();
  unzFile archive = unzOpen2_64(L"", &functions);
  if (!archive) return source.readFailed() ? ZipStatus::ReadError : ZipStatus::CorruptArchive;
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) {
    unzClose(archive);
    return source.readFailed() ? ZipStatus::ReadError : ZipStatus::CorruptArchive;
  }
  archive_ = archive;
  root_ = root;
  finalRoot_ = FinalPathOfFolder(root);
  count_ = global.number_entry > INT32_MAX ? INT32_MAX : static_cast<int32_t>(global.number_entry);
  current_ = 0;
  openIndex_ = -1;
  describedIndex_ = -1;
  ensuredFolder_.clear();
  sweptFolders_.clear();
  movedAside_.clear();
  return ZipStatus::Success;
}

std::vector<SurveyedEntry> ZipReader::Survey() {
  std::vector<SurveyedEntry> entries;
  if (!archive_) return entries;
  CloseOpenEntry();
  for (int32_t index = 0; index < count_; ++index) {
    if (GoToEntry(index) != ZipStatus::Success) break;
    unz_file_info64 central{};
    char name[kEntryNameRoom];
    if (unzGetCurrentFileInfo64(archive_, &central, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) continue;
    SurveyedEntry entry;
    entry.name = CleanEntryName(DecodeEntryName(name, central.size_filename));
    entry.size = central.uncompressed_size;
    entry.folder =
        (DecodeEntryAttributes(static_cast<uint16_t>(central.version), static_cast<uint32_t>(central.external_fa)) &
         kAttributeDirectory) ||
        (!entry.name.empty() && IsSeparator(entry.name.back()));
    entries.push_back(std::move(entry));
  }
  return entries;
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

  const std::wstring stored = DecodeEntryName(name, central.size_filename);
  info.name = CleanEntryName(stored);
  info.nameCleaned = info.name != stored;
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
  if (base + folder != ensuredFolder_) PrepareFolder(base, folder);
  return WriteFileEntry(info, base + folder, path, !base.empty());
}

void ZipReader::PrepareFolder(const std::wstring& base, const std::wstring& folder) {
  EnsureFolder(base, folder);
  const std::wstring path = base + folder;
  ensuredFolder_ = IsFolder(path) ? path : std::wstring();
  // What a killed pass left in this folder goes before anything new comes in.
  if (!ensuredFolder_.empty() && sweptFolders_.insert(FolderKey(path)).second) SweepOrphans(path);
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
  portico::FileHandle file = CreateOrphanFile(folder, attributes, temporary);
  if (!file) return IsDiskFull(GetLastError()) ? ZipStatus::DiskFull : ZipStatus::CannotOpenOrCreate;
  // A folder swapped for a link after the names were checked still cannot lead the data outside.
  if (belowRoot) {
    const std::wstring finalPath = FinalPathOf(file.get());
    // A path the file system does not tell now proves nothing: the entry fails, and a later start may
    // learn where it leads.
    if (finalPath.empty() || finalRoot_.empty()) {
      DiscardOpenFile(file);
      return ZipStatus::CannotOpenOrCreate;
    }
    if (!LiesBelow(finalPath, finalRoot_)) {
      DiscardOpenFile(file);
      return ZipStatus::UnsafePath;
    }
  }
  const ZipStatus status = WriteData(info, file.get());
  if (status != ZipStatus::Success) {
    DiscardOpenFile(file);
    return status;
  }
  if (!PutInPlace(file, temporary, path, movedAside_)) {
    if (file) {
      DiscardOpenFile(file);
    } else {
      DeleteAnyFile(temporary);
    }
    return ZipStatus::CannotOpenOrCreate;
  }
  // After the rename: Windows gives a file that takes a name just freed the old file's creation time
  // ("tunnelling").
  if (file) ApplyTimes(file.get(), info);
  return ZipStatus::Success;
}

ZipStatus ZipReader::ReadEntryData(int32_t index, size_t most, std::string& data) {
  data.clear();
  ZipEntryInfo info;
  const ZipStatus described = GetEntry(index, info);
  if (described != ZipStatus::Success) return described;
  if (describedEncrypted_) return ZipStatus::PasswordRequired;
  if (unzOpenCurrentFile(archive_) != UNZ_OK) return ZipStatus::CorruptArchive;
  openIndex_ = index;
  if (!buffer_) buffer_.reset(new unsigned char[kTransferBufferSize]);
  while (data.size() <= most) {
    const int count = unzReadCurrentFile(archive_, buffer_.get(), kTransferBufferSize);
    if (count < 0) {
      CloseOpenEntry();
      return count == UNZ_ERRNO ? ZipStatus::ReadError : ZipStatus::InflateError;
    }
    if (count == 0) {
      if (unzeof(archive_)) break;
      CloseOpenEntry();
      return ZipStatus::InflateError;
    }
    data.append(reinterpret_cast<const char*>(buffer_.get()), static_cast<size_t>(count));
  }
  if (data.size() > most) {
    data.resize(most + 1);
    CloseOpenEntry();
    return ZipStatus::Success;
  }
  const int closed = unzCloseCurrentFile(archive_);
  openIndex_ = -1;
  return closed == UNZ_CRCERROR ? ZipStatus::ChecksumMismatch : ZipStatus::Success;
}

// The entry's data into the open file, checked against its CRC-32 and on the disk before the file
// may take any installed file's name: after a power cut a renamed file must not hold zeros. Its times
// are set once it is in place.
ZipStatus ZipReader::WriteData(const ZipEntryInfo& info, HANDLE file) {
  if (unzOpenCurrentFile(archive_) != UNZ_OK) return ZipStatus::CorruptArchive;
  openIndex_ = info.index;
  if (!buffer_) buffer_.reset(new unsigned char[kTransferBufferSize]);
  ZipStatus status = ZipStatus::Success;
  for (;;) {
    const int count = unzReadCurrentFile(archive_, buffer_.get(), kTransferBufferSize);
    if (count == UNZ_ERRNO) {
      status = ZipStatus::ReadError;
      break;
    }
    if (count < 0) {
      status = ZipStatus::InflateError;
      break;
    }
    DWORD written = 0;
    if (count > 0 && (!WriteFile(file, buffer_.get(), static_cast<DWORD>(count), &written, nullptr) ||
                      written != static_cast<DWORD>(count))) {
      status = IsDiskFull(GetLastError()) ? ZipStatus::DiskFull : ZipStatus::WriteError;
      break;
    }
    if (unzeof(archive_)) break;
    if (count == 0) {
      status = ZipStatus::InflateError;
      break;
    }
  }
  // minizip compares the CRC-32 when the whole entry was read and its data is closed.
  const int closed = unzCloseCurrentFile(archive_);
  openIndex_ = -1;
  if (status == ZipStatus::Success && closed == UNZ_CRCERROR) status = ZipStatus::ChecksumMismatch;
  if (status != ZipStatus::Success) return status;
  if (!FlushFileBuffers(file)) return IsDiskFull(GetLastError()) ? ZipStatus::DiskFull : ZipStatus::WriteError;
  return ZipStatus::Success;
}

ZipStatus ZipReader::Close() {
  CloseOpenEntry();
  if (archive_) unzClose(archive_);
  archive_ = nullptr;
  ownedSource_.reset();
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
