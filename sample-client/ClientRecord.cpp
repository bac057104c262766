#include "ClientRecord.h"

#include <windows.h>

#include "WinHandles.h"

std::wstring RecordPathFor(const std::wstring& programPath) {
  std::wstring base = programPath;
  size_t dot = base.find_last_of(L'.');
  size_t slash = base.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) base.erase(dot);
  return base + L".record.txt";
}

std::string EscapeBytes(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

void AppendRecord(const std::wstring& recordPath, const std::string& line) {
  // Copies started at the same moment share the file; appending with a short retry while another
  // holds it keeps every line whole.
  std::string text = line + "\n";
  for (int attempt = 0; attempt < 200; ++attempt) {
    portico::FileHandle file(CreateFileW(recordPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD written = 0;
      WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      return;
    }
    Sleep(10);
  }
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
  return out;
}
