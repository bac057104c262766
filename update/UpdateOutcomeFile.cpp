#include "UpdateOutcomeFile.h"

#include <windows.h>

#include "FileReplace.h"
#include "PathGuard.h"

bool WriteUpdateOutcome(const std::wstring& root, const UpdateOutcome& outcome) {
  const std::wstring temp = root + L"temp";
  const DWORD attributes = GetFileAttributesW(temp.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  std::wstring tempFinal = FinalPathOfFolder(root);
  if (!tempFinal.empty() && tempFinal.back() != L'\\') tempFinal += L'\\';
  tempFinal += L"temp";
  const std::wstring record = temp + L'\\' + kUpdateOutcomeName;
  // Under a fresh name, made only where no name is: whoever may write temp may have left a link at
  // any fixed one, and deleting it by name would, under Wine, delete where it leads.
  std::wstring fresh;
  portico::FileHandle file = CreateOrphanFile(temp + L'\\', FILE_ATTRIBUTE_NORMAL, fresh);
  if (!file) return false;
  // temp may have become a link since it was looked at.
  if (!LiesBelow(FinalPathOf(file.get()), tempFinal)) {
    DiscardOpenFile(file);
    return false;
  }
  const std::string line = OutcomeLine(outcome);
  DWORD written = 0;
  if (!WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size() || !FlushFileBuffers(file.get()) || !RenameOpenFile(file.get(), record, true)) {
    DiscardOpenFile(file);
    return false;
  }
  return true;
}
