#include "WindowsFileName.h"

namespace {

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices in every folder, with any extension.
bool IsDeviceName(const std::wstring& name) {
  std::wstring base;
  for (wchar_t c : name.substr(0, name.find(L'.'))) base += AsciiUpper(c);
  while (!base.empty() && base.back() == L' ') base.pop_back();
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) && base[3] >= L'1' &&
         base[3] <= L'9';
}

}  // namespace

bool IsWindowsFileName(const std::wstring& name) {
  if (name.empty() || IsDeviceName(name)) return false;
  for (wchar_t c : name) {
    if (static_cast<unsigned long>(c) < 0x20 || std::wstring(L"<>\"|?*").find(c) != std::wstring::npos) return false;
  }
  return true;
}
