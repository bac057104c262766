#pragma once
// One log record: a fixed text area that a standard stream writes into, and what is known of the
// statement that made it.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <ostream>
#include <streambuf>

#include "LogLevel.h"

namespace cpplog {
namespace helpers {

// A stream buffer over a caller's fixed area. It never grows: once the area is full every further
// character is refused, and the stream writing into it fails.
class fixed_streambuf : public std::streambuf {
 public:
  fixed_streambuf(char* area, std::size_t size);
  ~fixed_streambuf() override;
  fixed_streambuf(const fixed_streambuf&) = delete;
  fixed_streambuf& operator=(const fixed_streambuf&) = delete;

  std::size_t used() const { return static_cast<std::size_t>(pptr() - pbase()); }
  std::size_t capacity() const { return static_cast<std::size_t>(epptr() - pbase()); }
  // Takes back the last character written.
  void dropLast();
};

}  // namespace helpers

struct LogData {
  static constexpr std::size_t kTextCapacity = 20000;

  explicit LogData(LogLevel level);
  virtual ~LogData();
  LogData(const LogData&) = delete;
  LogData& operator=(const LogData&) = delete;

  // The text written so far; buffer[length()] is always inside the buffer.
  std::size_t length() const { return streamBuffer.used(); }
  // Ends the text with a line feed unless it already ends with one; when the area is full the last
  // character gives way to it. Writes past the stream, which may have failed by then.
  void endLine();
  // Stores a NUL behind the text, for sinks that take C strings.
  void terminate() { buffer[length()] = '\0'; }
  // Sets timeStamp and its UTC breakdown.
  void stamp(std::int64_t secondsSince1970);

  helpers::fixed_streambuf streamBuffer;
  char buffer[kTextCapacity + 1];
  std::ostream stream;
  LogLevel level;
  std::uint32_t sourceLine = 0;
  const char* sourceFileName = "";
  std::int64_t timeStamp = 0;
  std::tm utcTime{};
};

// The base name of a compile-time source path: behind the last "/", else behind the last "\",
// else the whole path. A "\" behind the last "/" stays in the name.
const char* SourceFileName(const char* path);

// Calendar breakdown of a time in UTC, whatever the process's time zone.
std::tm UtcTime(std::int64_t secondsSince1970);

}  // namespace cpplog
