#include "TextConversion.h"

#include <windows.h>

#include <climits>

namespace {

constexpr int kWideRoom = 260;
constexpr int kAnsiRoom = 512;
constexpr int kCp936Room = 128;
constexpr UINT kCp936 = 936;

bool ToWideWithin(UINT codePage, const char* text, int room, std::wstring& out) {
  if (!text) return false;
  // With a length of -1 the count includes the terminating zero, as the room does.
  int needed = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (needed <= 0 || needed > room) {
    out.clear();
    return false;
  }
  std::wstring result(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, result.data(), needed);
  result.resize(static_cast<size_t>(needed) - 1);
  out = std::move(result);
  return !out.empty();
}

}  // namespace

bool Utf8ToWide(const char* utf8, std::wstring& out) { return ToWideWithin(CP_UTF8, utf8, kWideRoom, out); }

bool Cp936ToWide(const char* text, std::wstring& out) { return ToWideWithin(kCp936, text, kCp936Room, out); }

bool Utf8ToAnsi(const char* utf8, std::string& out) {
  if (!utf8) return false;
  std::wstring wide;
  if (!ToWideWithin(CP_UTF8, utf8, INT_MAX, wide)) {
    out.clear();
    return false;
  }
  // Characters the ANSI code page lacks become its default character, as the platform does.
  int needed = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0 || needed > kAnsiRoom) {
    out.clear();
    return false;
  }
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, result.data(), needed, nullptr, nullptr);
  result.resize(static_cast<size_t>(needed) - 1);
  out = std::move(result);
  return !out.empty();
}
