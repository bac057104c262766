#include "ArchiveEntries.h"

#include <unzip.h>

#include <fstream>

#include "EntryAttributes.h"
#include "EntryName.h"
#include "ExtendedTimestamp.h"
#include "RemovalList.h"

namespace {

constexpr std::uint16_t kEncryptedFlag = 1;
// One byte past the largest list the launcher takes tells a list that is too large.
constexpr size_t kRemovalListRoom = (1u << 20) + 1;

// minizip's file functions over a standard stream, so that a path in any script opens on every
// system without the platform's own calls.
voidpf Open(voidpf, const void* path, int) {
  auto* stream = new std::ifstream(*static_cast<const std::filesystem::path*>(path), std::ios::binary);
  if (*stream) return stream;
  delete stream;
  return nullptr;
}
uLong Read(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* in = static_cast<std::ifstream*>(stream);
  in->read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
  const auto got = static_cast<uLong>(in->gcount());
  if (in->eof()) in->clear();
  return got;
}
uLong Write(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T Tell(voidpf, voidpf stream) {
  const auto at = static_cast<std::ifstream*>(stream)->tellg();
  return at < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(at);
}
long Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* in = static_cast<std::ifstream*>(stream);
  in->clear();
  const std::ios::seekdir from = origin == ZLIB_FILEFUNC_SEEK_SET   ? std::ios::beg
                                 : origin == ZLIB_FILEFUNC_SEEK_CUR ? std::ios::cur
                                                                    : std::ios::end;
  in->seekg(static_cast<std::streamoff>(offset), from);
  return in->fail() ? -1 : 0;
}
int Close(voidpf, voidpf stream) {
  delete static_cast<std::ifstream*>(stream);
  return 0;
}
int Error(voidpf, voidpf stream) { return static_cast<std::ifstream*>(stream)->bad() ? 1 : 0; }

std::vector<std::uint8_t> LocalExtraField(unzFile archive, bool& readable) {
  std::vector<std::uint8_t> extra;
  int method = 0;
  int level = 0;
  readable = unzOpenCurrentFile2(archive, &method, &level, 1) == UNZ_OK;
  if (!readable) return extra;
  const int size = unzGetLocalExtrafield(archive, nullptr, 0);
  if (size > 0) {
    extra.resize(static_cast<size_t>(size));
    if (unzGetLocalExtrafield(archive, extra.data(), static_cast<unsigned>(size)) != size) extra.clear();
  }
  unzCloseCurrentFile(archive);
  return extra;
}

std::optional<std::string> EntryBytes(unzFile archive, std::string& error) {
  if (unzOpenCurrentFile(archive) != UNZ_OK) {
    error = "the removal list cannot be read";
    return std::nullopt;
  }
  std::string bytes(kRemovalListRoom, '\0');
  size_t total = 0;
  while (total < bytes.size()) {
    const int got = unzReadCurrentFile(archive, bytes.data() + total, static_cast<unsigned>(bytes.size() - total));
    if (got < 0) {
      unzCloseCurrentFile(archive);
      error = "the removal list is damaged";
      return std::nullopt;
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  // A CRC mismatch shows only at the close, after the whole entry was read.
  const bool whole = unzCloseCurrentFile(archive) == UNZ_OK || total == bytes.size();
  if (!whole) {
    error = "the removal list is damaged";
    return std::nullopt;
  }
  bytes.resize(total);
  return bytes;
}

}  // namespace

ArchiveContents ReadArchiveEntries(const std::filesystem::path& path) {
  ArchiveContents contents;
  zlib_filefunc64_def functions{};
  functions.zopen64_file = Open;
  functions.zread_file = Read;
  functions.zwrite_file = Write;
  functions.ztell64_file = Tell;
  functions.zseek64_file = Seek;
  functions.zclose_file = Close;
  functions.zerror_file = Error;
  unzFile archive = unzOpen2_64(&path, &functions);
  if (!archive) {
    contents.error = "not a zip archive, or it cannot be read";
    return contents;
  }
  contents.readable = true;
  for (int status = unzGoToFirstFile(archive); status == UNZ_OK; status = unzGoToNextFile(archive)) {
    unz_file_info64 central{};
    char name[kEntryNameRoom];
    if (unzGetCurrentFileInfo64(archive, &central, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) {
      contents.error = "the central directory is damaged";
      break;
    }
    ArchiveEntry entry;
    const size_t stored = std::min<size_t>(central.size_filename, sizeof(name));
    entry.storedName.assign(name, stored);
    entry.name = CleanEntryName(DecodeEntryName(name, central.size_filename));
    entry.attributes = DecodeEntryAttributes(static_cast<std::uint16_t>(central.version),
                                             static_cast<std::uint32_t>(central.external_fa));
    entry.size = central.uncompressed_size;
    entry.method = static_cast<std::uint16_t>(central.compression_method);
    entry.encrypted = (central.flag & kEncryptedFlag) != 0;
    entry.folder = (entry.attributes & kAttributeDirectory) != 0 ||
                   (!entry.name.empty() && (entry.name.back() == L'\\' || entry.name.back() == L'/'));
    bool readable = false;
    const std::vector<std::uint8_t> extra = LocalExtraField(archive, readable);
    if (!readable) {
      contents.error = "an entry's header is damaged";
      break;
    }
    entry.writeTime = ParseExtendedTimestamp(extra.data(), extra.size()).write;
    if (IsRemovalListName(entry.name) && !contents.removalList) {
      contents.removalList = EntryBytes(archive, contents.error);
      if (!contents.removalList) break;
    }
    contents.entries.push_back(std::move(entry));
  }
  unzClose(archive);
  return contents;
}
