#include "CopyImage.h"

#include "LaunchText.h"

ImagePlace PlaceOfImage(const std::wstring& imagePath) {
  const size_t separator = imagePath.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {{}, imagePath};
  return {FolderOf(imagePath), imagePath.substr(separator + 1)};
}
