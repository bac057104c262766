#include "SamePath.h"

#include <windows.h>

namespace {

std::wstring Expanded(DWORD (*call)(const wchar_t*, wchar_t*, DWORD), const std::wstring& path) {
  std::wstring out(MAX_PATH, L'\0');
  DWORD length = call(path.c_str(), &out[0], static_cast<DWORD>(out.size()));
  if (length >= out.size()) {
    out.assign(length + 1, L'\0');
    length = call(path.c_str(), &out[0], static_cast<DWORD>(out.size()));
  }
  if (length == 0 || length >= out.size()) return path;
  out.resize(length);
  return out;
}

DWORD FullPath(const wchar_t* path, wchar_t* out, DWORD room) { return GetFullPathNameW(path, room, out, nullptr); }
DWORD LongPath(const wchar_t* path, wchar_t* out, DWORD room) { return GetLongPathNameW(path, out, room); }

std::wstring Normal(const std::wstring& path) {
  const std::wstring prefix = L"\\\\?\\";
  const std::wstring plain = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
  return Expanded(LongPath, Expanded(FullPath, plain));
}

}  // namespace

bool SamePath(const std::wstring& a, const std::wstring& b) {
  const std::wstring left = Normal(a);
  const std::wstring right = Normal(b);
  return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_EQUAL;
}
