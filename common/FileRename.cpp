#include "FileRename.h"

#include <cstring>
#include <vector>

bool RenameOpenFile(HANDLE file, const std::wstring& to, bool replace) {
  std::vector<unsigned char> room(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(room.data());
  rename->ReplaceIfExists = replace;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, to.c_str(), to.size() * sizeof(wchar_t));
  return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(room.size())) != FALSE;
}
