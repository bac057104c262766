// Entry-name decoding and cleaning together with the unsafe-name check. Every name the check lets
// through must be relative, free of ".." components, of ":" and of device names; cleaning must
// leave nothing for a second pass. The input is taken both as stored bytes (with the name room)
// and as loose text of any length.
#include <cstddef>
#include <cstdint>
#include <string>

#include "EntryName.h"
#include "FuzzCheck.h"
#include "FuzzText.h"
#include "UnsafeEntryName.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t Upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

// Windows opens a device for these whatever folder they are in, with any extension.
bool NamesDevice(const std::wstring& component) {
  std::wstring base;
  for (wchar_t c : component) {
    if (c == L'.') break;
    base += Upper(c);
  }
  while (!base.empty() && base.back() == L' ') base.pop_back();
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  if (base.size() != 4) return false;
  const std::wstring port = base.substr(0, 3);
  const wchar_t digit = base[3];
  const bool isDigit = (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  return isDigit && (port == L"COM" || port == L"LPT");
}

// Windows trims trailing blanks and dots, so ".. " and "..." step up a folder as ".." does.
bool ClimbsUp(const std::wstring& component) {
  size_t dots = 0;
  for (wchar_t c : component) {
    if (c == L'.') {
      ++dots;
    } else if (c != L' ') {
      return false;
    }
  }
  return dots >= 2;
}

void CheckName(const std::wstring& stored) {
  const std::wstring cleaned = CleanEntryName(stored);
  FUZZ_CHECK(CleanEntryName(cleaned) == cleaned);
  if (IsUnsafeEntryName(cleaned)) return;

  FUZZ_CHECK(!cleaned.empty());
  FUZZ_CHECK(!IsSeparator(cleaned.front()));
  FUZZ_CHECK(cleaned.find(L':') == std::wstring::npos);
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < cleaned.size() && !IsSeparator(cleaned[end])) ++end;
    const std::wstring component = cleaned.substr(start, end - start);
    FUZZ_CHECK(!ClimbsUp(component));
    FUZZ_CHECK(!NamesDevice(component));
    if (end == cleaned.size()) break;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring decoded = DecodeEntryName(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(size < kEntryNameRoom || decoded.empty());
  FUZZ_CHECK(decoded.size() <= size);
  CheckName(decoded);
  CheckName(fuzz::LooseWide(data, size));
  return 0;
}
