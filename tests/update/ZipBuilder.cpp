#include "ZipBuilder.h"

#include <zlib.h>

#include <stdexcept>

namespace ziptest {
namespace {

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

}  // namespace

std::string Deflate(const std::string& data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

std::string Build(const std::vector<Entry>& entries) {
  std::string archive;
  std::string central;
  for (const Entry& entry : entries) {
    const uint16_t method = entry.method ? *entry.method : (entry.deflate ? 8 : 0);
    const std::string payload = entry.payload ? *entry.payload : (entry.deflate ? Deflate(entry.data) : entry.data);
    const uint32_t crc = entry.crc ? *entry.crc : Crc32(entry.data);
    const auto offset = static_cast<uint32_t>(archive.size());

    Put32(archive, 0x04034b50);
    Put16(archive, 20);
    Put16(archive, entry.flags);
    Put16(archive, entry.localMethod ? *entry.localMethod : method);
    Put16(archive, entry.dosTime);
    Put16(archive, entry.dosDate);
    Put32(archive, crc);
    Put32(archive, static_cast<uint32_t>(payload.size()));
    Put32(archive, static_cast<uint32_t>(entry.data.size()));
    Put16(archive, static_cast<uint32_t>(entry.name.size()));
    Put16(archive, static_cast<uint32_t>(entry.localExtra.size()));
    archive += entry.name + entry.localExtra + payload;

    Put32(central, 0x02014b50);
    Put16(central, entry.versionMadeBy);
    Put16(central, 20);
    Put16(central, entry.flags);
    Put16(central, method);
    Put16(central, entry.dosTime);
    Put16(central, entry.dosDate);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(payload.size()));
    Put32(central, static_cast<uint32_t>(entry.data.size()));
    Put16(central, static_cast<uint32_t>(entry.name.size()));
    Put16(central, static_cast<uint32_t>(entry.centralExtra.size()));
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, entry.externalAttributes);
    Put32(central, offset);
    central += entry.name + entry.centralExtra;
  }
  const auto centralOffset = static_cast<uint32_t>(archive.size());
  archive += central;
  Put32(archive, 0x06054b50);
  Put16(archive, 0);
  Put16(archive, 0);
  Put16(archive, static_cast<uint32_t>(entries.size()));
  Put16(archive, static_cast<uint32_t>(entries.size()));
  Put32(archive, static_cast<uint32_t>(central.size()));
  Put32(archive, centralOffset);
  Put16(archive, 0);
  return archive;
}

std::string TimestampBlock(uint8_t flags, const std::vector<int32_t>& times, std::optional<uint16_t> declaredSize) {
  std::string data(1, static_cast<char>(flags));
  for (int32_t time : times) Put32(data, static_cast<uint32_t>(time));
  std::string block;
  Put16(block, 0x5455);
  Put16(block, declaredSize ? *declaredSize : static_cast<uint32_t>(data.size()));
  return block + data;
}

std::string ExtraBlock(uint16_t tag, const std::string& data) {
  std::string block;
  Put16(block, tag);
  Put16(block, static_cast<uint32_t>(data.size()));
  return block + data;
}

}  // namespace ziptest
