#pragma once
// The update archive as the extraction reads it: entries described, and extracted to files whose
// replacement is all or nothing.

#include <unzip.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ArchiveSource.h"
#include "ZipEntryInfo.h"

enum class ZipStatus {
  Success,
  BadArgument,
  AlreadyOpen,
  CannotOpenOrCreate,
  CorruptArchive,
  ReadError,
  WriteError,
  PasswordRequired,
  InflateError,
  ChecksumMismatch,
  UnsafePath,  // the file would land outside the root, through a junction or a symbolic link
  DiskFull,    // the volume ran full while the entry was written; it was rolled back
};

// An entry as the central directory describes it, for planning before anything is written.
struct SurveyedEntry {
  std::wstring name;  // cleaned, as GetEntry gives it
  uint64_t size = 0;  // uncompressed
  bool folder = false;
};

class ZipReader {
 public:
  static constexpr size_t kTransferBufferSize = 16384;

  ZipReader() = default;
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // Opens the archive (others may read it meanwhile); relative destinations are taken below
  // `rootFolder`, which gets a trailing backslash when it has no separator at its end.
  ZipStatus Open(const std::wstring& archivePath, const std::wstring& rootFolder);
  // The same through a source the caller opened (and may have checked); it must outlive the reader.
  ZipStatus Open(ArchiveSource& source, const std::wstring& rootFolder);
  // Every entry's name and size from the central directory, without reading the entries.
  std::vector<SurveyedEntry> Survey();
  // Index -1 gives the number of entries in info.index, all else zero; 0 to count - 1 describes
  // that entry.
  ZipStatus GetEntry(int32_t index, ZipEntryInfo& info);
  // Writes the entry to `destination`, below the root unless it is absolute. A file is written to
  // a temporary file beside it, checked against its CRC-32, made durable, and only then put in place
  // of the old one; on any failure the old file stays as it was. Before the first file goes into a
  // folder, the temporary files a killed pass left there are removed. A relative destination that the
  // file system resolves outside the root (through a junction or a symbolic link) gives UnsafePath.
  ZipStatus ExtractEntry(int32_t index, const std::wstring& destination);
  // The entry's data into memory, checked against its CRC-32, but no more than `most` bytes and one:
  // an entry that holds more gives those, unchecked, for the caller to refuse.
  ZipStatus ReadEntryData(int32_t index, size_t most, std::string& data);
  ZipStatus Close();

  const std::wstring& root() const { return root_; }
  // Old files that were running and were moved aside to make room for their new versions.
  const std::vector<std::wstring>& movedAside() const { return movedAside_; }

 private:
  ZipStatus GoToEntry(int32_t index);
  // `belowRoot`: the destination was relative, so the file must land below the root.
  ZipStatus WriteFileEntry(const ZipEntryInfo& info, const std::wstring& folder, const std::wstring& path,
                           bool belowRoot);
  ZipStatus WriteData(const ZipEntryInfo& info, HANDLE file);
  void PrepareFolder(const std::wstring& base, const std::wstring& folder);
  void CloseOpenEntry();

  std::unique_ptr<ArchiveSource> ownedSource_;  // when opened by path
  unzFile archive_ = nullptr;
  std::wstring root_;
  std::wstring finalRoot_;  // the root as the file system resolves it
  int32_t count_ = 0;
  int32_t current_ = 0;     // the entry minizip stands on
  int32_t openIndex_ = -1;  // the entry whose data is open, or -1
  // The last entry described: extracting an entry describes it again, and minizip reads each
  // header from the file a few bytes per call, which showed in the time of a large update.
  int32_t describedIndex_ = -1;
  ZipEntryInfo described_;
  bool describedEncrypted_ = false;
  std::wstring ensuredFolder_;  // the folder of the last file written: entries come folder by folder
  std::set<std::wstring> sweptFolders_;
  std::vector<std::wstring> movedAside_;
  std::unique_ptr<unsigned char[]> buffer_;
};
