#include "UpdateRemoval.h"

#include <windows.h>

#include <algorithm>
#include <optional>

#include "InstalledFiles.h"
#include "OrphanName.h"
#include "PathGuard.h"
#include "UnsafeEntryName.h"
#include "WinHandles.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

enum class Fate { Removed, Gone, Kept, Skipped, Failed };

// A file or folder by identity: long or short name, any letter case, trailing dots, a second hard
// link, all lead to the same one.
struct FileId {
  DWORD volume = 0;
  DWORD high = 0;
  DWORD low = 0;
  bool operator==(const FileId& other) const {
    return volume == other.volume && high == other.high && low == other.low;
  }
};

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// What the name leads to now, following links: only its identity is wanted, so no access is asked.
std::optional<FileId> IdOfPath(const std::wstring& path) {
  const portico::FileHandle file(
      CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return IdOf(info);
}

bool SetAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // zero times are left as they are
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

// A read-only file refuses its deletion, also through its handle: the attribute goes first, and comes
// back when the deletion fails. On failure the last error tells why.
bool DeleteOpen(HANDLE file, DWORD attributes) {
  const bool readOnly = !(attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly) SetAttributes(file, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  if (SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition))) return true;
  const DWORD error = GetLastError();
  if (readOnly) SetAttributes(file, attributes);
  SetLastError(error);
  return false;
}

class Removal {
 public:
  Removal(const std::wstring& root, const std::vector<std::wstring>& written,
          const std::vector<std::wstring>& neverRemove)
      : root_(root), finalRoot_(FinalPathOfFolder(root)), installed_(root) {
    const std::wstring temp = root + L"temp";
    finalTemp_ = FinalPathOfFolder(temp);
    for (const std::wstring& own :
         {temp, root + kUpdateStampName, root + L"update.zip", root + L"update.zip.minisig"}) {
      Protect(own);
    }
    for (const std::wstring& path : neverRemove) Protect(path);
    for (const std::wstring& name : written) {
      if (!IsUnsafeEntryName(name)) Protect(root + name);
    }
  }

  void RemoveListed(const std::wstring& listed, RemovalReport& report) {
    const bool folder = listed.back() == L'\\';
    const std::wstring name = folder ? listed.substr(0, listed.size() - 1) : listed;
    switch (Remove(name, folder)) {
      case Fate::Removed:
        ++report.removed;
        RemoveEmptyFolders(name);
        break;
      case Fate::Gone:
        ++report.alreadyGone;
        RemoveEmptyFolders(name);
        break;
      case Fate::Kept:
        ++report.kept;
        break;
      case Fate::Skipped:
        ++report.skipped;
        break;
      case Fate::Failed:
        ++report.failed;
        report.failures.push_back(listed);
        break;
    }
  }

 private:
  void Protect(const std::wstring& path) {
    if (const std::optional<FileId> id = IdOfPath(path)) protected_.push_back(*id);
  }

  bool IsProtected(const FileId& id, const std::wstring& finalPath) const {
    return std::find(protected_.begin(), protected_.end(), id) != protected_.end() || LiesBelow(finalPath, finalTemp_);
  }

  Fate Remove(const std::wstring& name, bool folder) {
    if (!LiesInsideRoot(root_, name) || installed_.CrossesReparsePoint(name)) return Fate::Skipped;
    const std::wstring path = root_ + name;
    // Opened as it is, never through a link that appeared after the names were checked.
    portico::FileHandle file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                                         nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Fate::Gone;
      // The pass itself holds the archive, without delete sharing.
      const std::optional<FileId> id = IdOfPath(path);
      return id && IsProtected(*id, std::wstring()) ? Fate::Kept : Fate::Failed;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const std::wstring finalPath = FinalPathOf(file.get());
    // Where the file system does not tell, nothing is proved: a later start may learn it.
    if (finalPath.empty() || finalRoot_.empty() || !GetFileInformationByHandle(file.get(), &info)) return Fate::Failed;
    if (!LiesBelow(finalPath, finalRoot_) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return Fate::Skipped;
    }
    const bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (IsProtected(IdOf(info), finalPath) || isFolder != folder) return Fate::Kept;
    if (!DeleteOpen(file.get(), info.dwFileAttributes)) {
      return GetLastError() == ERROR_DIR_NOT_EMPTY ? Fate::Kept : Fate::Failed;
    }
    file.reset();
    // A file system may take a folder's deletion and drop it on closing only when the folder is empty.
    if (isFolder && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return Fate::Kept;
    return Fate::Removed;
  }

  // The folders above `name` that it leaves empty, the deepest first, up to the root. A folder already
  // gone is passed over: a pass ended between two of them leaves the ones above for the next.
  void RemoveEmptyFolders(std::wstring name) {
    for (size_t separator = name.find_last_of(L'\\'); separator != std::wstring::npos;
         separator = name.find_last_of(L'\\')) {
      name.resize(separator);
      const Fate fate = Remove(name, true);
      if (fate != Fate::Removed && fate != Fate::Gone) return;
    }
  }

  const std::wstring root_;
  const std::wstring finalRoot_;
  std::wstring finalTemp_;
  InstalledFiles installed_;
  std::vector<FileId> protected_;
};

}  // namespace

void RemoveListedPaths(const std::wstring& root, const std::vector<std::wstring>& paths,
                       const std::vector<std::wstring>& written, const std::vector<std::wstring>& neverRemove,
                       RemovalReport& report) {
  report.state = RemovalListState::Done;
  Removal removal(root, written, neverRemove);
  for (const std::wstring& listed : paths) removal.RemoveListed(listed, report);
}
