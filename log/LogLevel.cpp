#include "LogLevel.h"

namespace cpplog {
namespace {

struct LevelNames {
  char letter;
  const char* name;
};

constexpr LevelNames kNames[] = {{'T', "TRACE"}, {'D', "DEBUG"}, {'I', "INFO"},
                                 {'W', "WARN"},  {'E', "ERROR"}, {'F', "FATAL"}};
constexpr LevelNames kOther = {'O', "OTHER"};

const LevelNames& NamesOf(LogLevel level) {
  return level < sizeof(kNames) / sizeof(kNames[0]) ? kNames[level] : kOther;
}

}  // namespace

char LevelLetter(LogLevel level) { return NamesOf(level).letter; }

const char* LevelName(LogLevel level) { return NamesOf(level).name; }

}  // namespace cpplog
