// PorticoCheck for Linux: the checker with the launcher's UTF-8 conversion rebuilt without Windows.
#include <cstdio>
#include <string>
#include <vector>

#include "CheckCommand.h"
#include "Utf8ToUtf16.h"

namespace {

std::FILE* OpenNarrow(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

}  // namespace

int main(int argc, char** argv) {
  const CheckOutput result =
      RunCheck(std::vector<std::string>(argv + 1, argv + argc), {Utf8ToUtf16, OpenNarrow, nullptr, FileSystemReach});
  std::fwrite(result.out.data(), 1, result.out.size(), stdout);
  std::fwrite(result.err.data(), 1, result.err.size(), stderr);
  return result.exitCode;
}
