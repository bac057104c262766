#include "UnsafeEntryName.h"

#include <array>

#include "OrphanName.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualsAsciiNoCase(const std::wstring& text, const wchar_t* upper) {
  size_t i = 0;
  for (; upper[i] != L'\0'; ++i) {
    if (i >= text.size() || AsciiUpper(text[i]) != upper[i]) return false;
  }
  return i == text.size();
}

bool IsForbiddenCharacter(wchar_t c) {
  return c < 0x20 || c == L':' || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*';
}

// Windows drops trailing dots and blanks from a component, so "..", ". ." and "..." all climb
// out of a folder on some path; any component of nothing but dots and blanks, two dots or more,
// counts as "..".
bool IsParentComponent(const std::wstring& component) {
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

bool IsDeviceDigit(wchar_t c) {
  // Windows also takes the superscript digits one, two and three as port numbers.
  return (c >= L'1' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

bool IsReservedDeviceName(const std::wstring& component) {
  // The device is named by what comes before the first dot, without trailing blanks:
  // "nul.txt", "CON .log" and "com1..." all open a device.
  std::wstring base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  static const std::array<const wchar_t*, 4> kDevices = {L"CON", L"PRN", L"AUX", L"NUL"};
  for (const wchar_t* device : kDevices) {
    if (EqualsAsciiNoCase(base, device)) return true;
  }
  if (base.size() == 4 && IsDeviceDigit(base[3])) {
    const std::wstring port = base.substr(0, 3);
    return EqualsAsciiNoCase(port, L"COM") || EqualsAsciiNoCase(port, L"LPT");
  }
  return false;
}

}  // namespace

bool IsUnsafeEntryName(const std::wstring& name) {
  if (name.empty()) return true;
  for (wchar_t c : name) {
    if (IsForbiddenCharacter(c)) return true;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::wstring component = name.substr(start, end - start);
    if (IsParentComponent(component) || IsReservedDeviceName(component) || IsOrphanName(component) ||
        IsUpdateStampName(component)) {
      return true;
    }
    start = end + 1;
  }
  return false;
}
