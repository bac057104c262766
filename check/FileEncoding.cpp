#include "FileEncoding.h"

#include "Utf8ToUtf16.h"

namespace {

constexpr char kLoadFailure[] = "the launcher shows its load-failure box and reads no settings";

int LineAt(std::string_view bytes, size_t offset) {
  int line = 1;
  for (size_t i = 0; i < offset && i < bytes.size(); ++i) {
    if (bytes[i] == '\n') ++line;
  }
  return line;
}

const char* Utf16Mark(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return "FF FE";
  if (bytes.substr(0, 2) == "\xFE\xFF") return "FE FF";
  return nullptr;
}

}  // namespace

bool CheckEncoding(std::string_view bytes, bool loaded, std::vector<Finding>& findings) {
  const Severity severity = loaded ? Severity::kWarning : Severity::kError;
  const std::string outcome = loaded ? "the launcher reads nothing after the first NUL byte" : kLoadFailure;
  if (const char* mark = Utf16Mark(bytes)) {
    findings.push_back({severity, "encoding-utf16", 1,
                        std::string("the file is UTF-16 (it begins with the byte-order mark ") + mark +
                            "); save it as UTF-8: " + outcome});
    return true;
  }
  const size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) {
    findings.push_back({severity, "encoding-utf16", LineAt(bytes, nul),
                        "the file holds NUL bytes (UTF-16 without a byte-order mark?); save it as UTF-8: " + outcome});
    return true;
  }
  const size_t invalid = FirstInvalidUtf8(bytes);
  if (invalid != std::string_view::npos) {
    findings.push_back({Severity::kWarning, "encoding-not-utf8", LineAt(bytes, invalid),
                        "bytes that are not UTF-8 (a file saved in a legacy code page such as GBK?): the launcher "
                        "reads each such sequence as U+FFFD"});
  }
  return false;
}
