#pragma once
// Where a running process's image lies, split for the comparison with the launcher's folder and
// ProgName. Pure text work, so that it also builds natively.

#include <string>

struct ImagePlace {
  std::wstring folder;    // as FolderOf gives it ("C:\\" for a drive's root); empty without a separator
  std::wstring fileName;  // the text after the last separator
};
ImagePlace PlaceOfImage(const std::wstring& imagePath);
