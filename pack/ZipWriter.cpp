#include "ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint16_t kVersionNeeded = 20;
constexpr std::uint16_t kMadeByDos = 20;  // host 0 (DOS) in the high byte: attributes are DOS bits
constexpr std::uint16_t kUtf8Flag = 0x0800;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kTimestampTag = 0x5455;
constexpr std::uint64_t kZip32Limit = 0xFFFFFFFFu;

void Put16(std::string& to, std::uint16_t value) {
  to.push_back(static_cast<char>(value & 0xFF));
  to.push_back(static_cast<char>(value >> 8));
}

void Put32(std::string& to, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) to.push_back(static_cast<char>((value >> shift) & 0xFF));
}

bool FitsTimestamp(std::int64_t seconds) {
  return seconds >= std::numeric_limits<std::int32_t>::min() && seconds <= std::numeric_limits<std::int32_t>::max();
}

// The modification time only, in the local and the central extra field alike.
std::string TimestampField(std::int64_t seconds) {
  std::string field;
  if (!FitsTimestamp(seconds)) return field;
  Put16(field, kTimestampTag);
  Put16(field, 5);
  field.push_back(1);
  Put32(field, static_cast<std::uint32_t>(static_cast<std::int32_t>(seconds)));
  return field;
}

std::uint16_t FlagsOf(const std::string& name) {
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? 0 : kUtf8Flag;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shifted = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

std::uint32_t DosDateTimeOf(std::int64_t unixSeconds) {
  constexpr std::int64_t kFirst = 315532800;  // 1980-01-01 00:00:00
  constexpr std::int64_t kLast = 4354819198;  // 2107-12-31 23:59:58
  const std::int64_t t = std::clamp(unixSeconds, kFirst, kLast);
  const std::int64_t days = t / 86400;
  const std::int64_t second = t % 86400;
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  const auto date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const auto time =
      static_cast<std::uint32_t>(((second / 3600) << 11) | (((second / 60) % 60) << 5) | ((second % 60) / 2));
  return (date << 16) | time;
}

ZipWriter::ZipWriter(const std::filesystem::path& archive) : out_(archive, std::ios::binary | std::ios::trunc) {
  if (!out_) Fail("cannot create '" + archive.u8string() + "'");
}

void ZipWriter::Fail(const std::string& why) {
  if (error_.empty()) error_ = why;
}

void ZipWriter::WriteLocalHeader(const Written& written) {
  const std::uint32_t stamp = DosDateTimeOf(written.entry.writeTime);
  const std::string extra = TimestampField(written.entry.writeTime);
  std::string header;
  Put32(header, kLocalSignature);
  Put16(header, kVersionNeeded);
  Put16(header, FlagsOf(written.entry.name));
  Put16(header, written.method);
  Put32(header, stamp);
  Put32(header, written.crc);
  Put32(header, static_cast<std::uint32_t>(written.compressedSize));
  Put32(header, static_cast<std::uint32_t>(written.size));
  Put16(header, static_cast<std::uint16_t>(written.entry.name.size()));
  Put16(header, static_cast<std::uint16_t>(extra.size()));
  header += written.entry.name;
  header += extra;
  out_.write(header.data(), static_cast<std::streamsize>(header.size()));
}

template <typename Read>
void ZipWriter::AddData(const ZipWriteEntry& entry, std::uint64_t size, Read read) {
  if (!ok()) return;
  if (entry.name.size() > 0xFFFF || size >= kZip32Limit) {
    Fail("'" + entry.name + "' is too large for an archive the launcher reads");
    return;
  }
  Written written;
  written.entry = entry;
  written.offset = static_cast<std::uint64_t>(out_.tellp());
  written.method = size == 0 ? kStored : kDeflated;
  written.size = size;
  WriteLocalHeader(written);  // sizes and CRC follow once the data is written
  const std::uint64_t dataStart = static_cast<std::uint64_t>(out_.tellp());
  if (written.method == kDeflated) {
    z_stream stream{};
    // Raw deflate (negative window bits): zip keeps its own header and CRC.
    if (deflateInit2(&stream, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      Fail("zlib cannot start");
      return;
    }
    std::vector<unsigned char> input(1 << 16), output(1 << 16);
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t total = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH && ok()) {
      const long got = read(input.data(), input.size());
      if (got < 0) {
        Fail("cannot read '" + entry.name + "'");
        break;
      }
      total += static_cast<std::uint64_t>(got);
      crc = crc32(crc, input.data(), static_cast<uInt>(got));
      flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
      stream.next_in = input.data();
      stream.avail_in = static_cast<uInt>(got);
      do {
        stream.next_out = output.data();
        stream.avail_out = static_cast<uInt>(output.size());
        deflate(&stream, flush);
        out_.write(reinterpret_cast<const char*>(output.data()),
                   static_cast<std::streamsize>(output.size() - stream.avail_out));
      } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    if (!ok()) return;
    if (total != size) {
      Fail("'" + entry.name + "' changed while it was packed");
      return;
    }
    written.crc = static_cast<std::uint32_t>(crc);
  }
  const std::uint64_t end = static_cast<std::uint64_t>(out_.tellp());
  written.compressedSize = end - dataStart;
  if (end >= kZip32Limit || written.compressedSize >= kZip32Limit) {
    Fail("the archive grows past 4 GiB, more than the launcher reads");
    return;
  }
  out_.seekp(static_cast<std::streamoff>(written.offset));
  WriteLocalHeader(written);
  out_.seekp(static_cast<std::streamoff>(end));
  if (!out_) Fail("cannot write the archive");
  entries_.push_back(std::move(written));
}

void ZipWriter::AddFolder(const ZipWriteEntry& entry) {
  AddData(entry, 0, [](unsigned char*, size_t) { return 0L; });
}

void ZipWriter::AddFile(const ZipWriteEntry& entry, const std::filesystem::path& source) {
  std::error_code error;
  const std::uint64_t size = std::filesystem::file_size(source, error);
  std::ifstream in(source, std::ios::binary);
  if (error || !in) {
    Fail("cannot read '" + entry.name + "'");
    return;
  }
  AddData(entry, size, [&in](unsigned char* buffer, size_t room) -> long {
    in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(room));
    if (in.bad()) return -1;
    return static_cast<long>(in.gcount());
  });
}

void ZipWriter::AddBytes(const ZipWriteEntry& entry, const std::string& bytes) {
  size_t at = 0;
  AddData(entry, bytes.size(), [&bytes, &at](unsigned char* buffer, size_t room) -> long {
    const size_t chunk = std::min(room, bytes.size() - at);
    std::copy_n(bytes.data() + at, chunk, buffer);
    at += chunk;
    return static_cast<long>(chunk);
  });
}

bool ZipWriter::Finish() {
  if (!ok()) return false;
  const std::uint64_t start = static_cast<std::uint64_t>(out_.tellp());
  std::string directory;
  for (const Written& written : entries_) {
    const std::string extra = TimestampField(written.entry.writeTime);
    Put32(directory, kCentralSignature);
    Put16(directory, kMadeByDos);
    Put16(directory, kVersionNeeded);
    Put16(directory, FlagsOf(written.entry.name));
    Put16(directory, written.method);
    Put32(directory, DosDateTimeOf(written.entry.writeTime));
    Put32(directory, written.crc);
    Put32(directory, static_cast<std::uint32_t>(written.compressedSize));
    Put32(directory, static_cast<std::uint32_t>(written.size));
    Put16(directory, static_cast<std::uint16_t>(written.entry.name.size()));
    Put16(directory, static_cast<std::uint16_t>(extra.size()));
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, written.entry.attributes);
    Put32(directory, static_cast<std::uint32_t>(written.offset));
    directory += written.entry.name;
    directory += extra;
  }
  if (entries_.size() > 0xFFFF || start + directory.size() >= kZip32Limit) {
    Fail("too many entries or bytes for an archive without ZIP64, which the launcher does not read");
    return false;
  }
  std::string end;
  Put32(end, kEndSignature);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, static_cast<std::uint16_t>(entries_.size()));
  Put16(end, static_cast<std::uint16_t>(entries_.size()));
  Put32(end, static_cast<std::uint32_t>(directory.size()));
  Put32(end, static_cast<std::uint32_t>(start));
  Put16(end, 0);
  out_.write(directory.data(), static_cast<std::streamsize>(directory.size()));
  out_.write(end.data(), static_cast<std::streamsize>(end.size()));
  out_.close();
  if (!out_) Fail("cannot write the archive");
  return ok();
}
