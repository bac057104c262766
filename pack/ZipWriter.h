#pragma once
// A zip archive written as a Windows archiver writes one: the DOS host, DOS attribute bits, the DOS
// date and time and the "UT" extended timestamp of the modification time, names in UTF-8. Nothing
// depends on the machine or the hour: the same entries give the same bytes.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct ZipWriteEntry {
  std::string name;              // UTF-8, '/' between components, a folder's with a trailing '/'
  std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_* bits
  std::int64_t writeTime = 0;    // Unix seconds
};

class ZipWriter {
 public:
  // Deflate level of every entry: fixed, so that the bytes do not depend on a default.
  static constexpr int kLevel = 6;

  explicit ZipWriter(const std::filesystem::path& archive);
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  void AddFolder(const ZipWriteEntry& entry);
  void AddFile(const ZipWriteEntry& entry, const std::filesystem::path& source);
  void AddBytes(const ZipWriteEntry& entry, const std::string& bytes);
  // Writes the central directory; the archive is whole only when this answers true.
  bool Finish();

 private:
  struct Written {
    ZipWriteEntry entry;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
  };
  // `read` fills the buffer and answers the bytes it put there, 0 at the end, -1 on an error.
  template <typename Read>
  void AddData(const ZipWriteEntry& entry, std::uint64_t size, Read read);
  void WriteLocalHeader(const Written& written);
  void Fail(const std::string& why);

  std::ofstream out_;
  std::string error_;
  std::vector<Written> entries_;
};

// The DOS date (high half) and time (low half) of a Unix time, as a calendar in UTC so that the
// archive does not depend on the packer's time zone; times before 1980 or after 2107 are clamped.
std::uint32_t DosDateTimeOf(std::int64_t unixSeconds);
