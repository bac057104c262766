#include "NarrowText.h"

#include <clocale>
#include <cstdlib>
#include <optional>
#include <utility>

namespace {

#ifdef _WIN32
constexpr const char* kLogLocale = "chs";  // Chinese (Simplified), code page 936
#else
constexpr const char* kLogLocale = "zh_CN.GBK";
#endif

// Sets the log's locale for all categories and restores the caller's on the way out.
class LogLocale {
 public:
  LogLocale() {
    // setlocale's answer lives only until the next call, so keep a copy.
    if (const char* current = std::setlocale(LC_ALL, nullptr)) saved_ = current;
    std::setlocale(LC_ALL, kLogLocale);
  }
  ~LogLocale() {
    if (!saved_.empty()) std::setlocale(LC_ALL, saved_.c_str());
  }
  LogLocale(const LogLocale&) = delete;
  LogLocale& operator=(const LogLocale&) = delete;

 private:
  std::string saved_;
};

// Up to the first NUL, as the conversion stops there; empty when a character there is not ASCII.
std::optional<std::string> AsciiUpToNul(const std::wstring& text) {
  std::string ascii;
  for (const wchar_t c : text) {
    if (c == L'\0') break;
    if (static_cast<unsigned long>(c) > 0x7F) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  return ascii;
}

}  // namespace

std::string NarrowText(const std::wstring& text) {
  // Code page 936 keeps ASCII as it is. Setting its locale loads the code page's tables into the C
  // runtime, over a MiB under Wine, which text that is all ASCII (most of it) need not pay.
  if (std::optional<std::string> ascii = AsciiUpToNul(text)) return *std::move(ascii);
  LogLocale locale;
  // Two bytes at most per UTF-16 unit in code page 936, and the NUL.
  std::string area(2 * text.size() + 1, '\0');
#ifdef _WIN32
  size_t converted = 0;
  // On a character the code page lacks this fails with EILSEQ; a partial result must not be logged.
  if (wcstombs_s(&converted, area.data(), area.size(), text.c_str(), area.size()) != 0) return {};
#else
  const size_t converted = std::wcstombs(area.data(), text.c_str(), area.size());
  if (converted == static_cast<size_t>(-1) || converted >= area.size()) return {};
#endif
  return std::string(area.c_str());
}

std::ostream& WriteWide(std::ostream& stream, const wchar_t* text) {
  return stream << NarrowText(text ? std::wstring(text) : std::wstring());
}
