#include "DesktopShortcut.h"

#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <optional>
#include <string>

#include "LauncherVariant.h"
#include "ShortcutNames.h"
#include "WinHandles.h"

namespace {

using portico::ComPtr;

struct ShortcutFiles {
  std::wstring oldFile;
  bool oldExists = false;
  std::optional<std::wstring> newFile;  // nothing when no usable new name was given
  bool newExists = false;
};

struct ShortcutProperties {
  const wchar_t* target;
  const wchar_t* description;
  const wchar_t* icon;
  const wchar_t* workingFolder;
};

std::optional<std::wstring> DesktopFolder(int csidl) {
  portico::ItemIdList folder;
  if (FAILED(SHGetFolderLocation(nullptr, csidl, nullptr, 0, folder.put()))) {
    return std::nullopt;
  }
  wchar_t path[MAX_PATH] = {};
  // An empty folder would turn "\<name>.lnk" into a file at the root of the current drive.
  if (!SHGetPathFromIDListW(folder.get(), path) || !*path) return std::nullopt;
  return std::wstring(path);
}

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// As the file system compares names: without regard to case over all of Unicode, so that "É" and
// "é" name the same shortcut file.
bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b) {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool LoadShortcut(IShellLinkW& link, IPersistFile& file, const ShortcutFiles& files) {
  if (!files.oldExists) return SUCCEEDED(file.Load(files.newFile->c_str(), STGM_READWRITE));
  // A file that does not load as a shell link is somebody else's: it is neither overwritten nor
  // moved. Its GetPath would still answer S_FALSE, as for any empty link, so the load must decide.
  if (FAILED(file.Load(files.oldFile.c_str(), STGM_READWRITE))) return false;
  wchar_t target[MAX_PATH] = {};
  return SUCCEEDED(link.GetPath(target, MAX_PATH, nullptr, SLGP_SHORTPATH));
}

void SetProperties(IShellLinkW& link, const ShortcutProperties& properties) {
  // Without SLR_NO_UI a shortcut whose target went missing can open a modal search and stall the
  // launch, only for the target to be replaced right after.
  link.Resolve(nullptr, SLR_NO_UI | SLR_UPDATE);
  if (properties.target) link.SetPath(properties.target);
  if (properties.icon && Exists(properties.icon)) {
    link.SetIconLocation(properties.icon, 0);
  } else {
    wchar_t icon[MAX_PATH] = {};
    int index = 0;
    if (SUCCEEDED(link.GetIconLocation(icon, MAX_PATH, &index))) link.SetIconLocation(icon, index);
  }
  if (properties.workingFolder) link.SetWorkingDirectory(properties.workingFolder);
  if (properties.description) link.SetDescription(properties.description);
}

// Answers 0 or 1; runs with COM initialised on this thread.
int RewriteShortcut(const ShortcutFiles& files, const wchar_t* oldName, const wchar_t* newName,
                    const ShortcutProperties& properties) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      FAILED(link.QueryInterface(IID_IPersistFile, file)) || !LoadShortcut(*link.get(), *file.get(), files)) {
    return 0;
  }
  SetProperties(*link.get(), properties);

  const std::wstring& saveTo = files.newFile ? *files.newFile : files.oldFile;
  const bool saved = SUCCEEDED(file->Save(saveTo.c_str(), TRUE));
  // The old file goes only once its content is safe under the new name, and never when both
  // names are one file.
  if (saved && files.oldExists && files.newFile && !SameNameIgnoringCase(oldName, newName)) {
    DeleteFileW(files.oldFile.c_str());
    PostMessageW(GetDesktopWindow(), WM_KEYDOWN, VK_F5, 0);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  }
  return 1;
}

}  // namespace

int RefreshDesktopShortcut(const wchar_t* oldName, const wchar_t* newName, const wchar_t* targetPath,
                           const wchar_t* description, const wchar_t* iconPath, const wchar_t* workingFolder) {
  return RefreshDesktopShortcut(kMachineWide, oldName, newName, targetPath, description, iconPath, workingFolder);
}

int RefreshDesktopShortcut(const LauncherVariant& variant, const wchar_t* oldName, const wchar_t* newName,
                           const wchar_t* targetPath, const wchar_t* description, const wchar_t* iconPath,
                           const wchar_t* workingFolder) {
  if (!IsShortcutName(oldName)) return -1;
  const std::optional<std::wstring> desktop = DesktopFolder(variant.shortcutDesktop);
  if (!desktop) return -2;

  ShortcutFiles files;
  const std::optional<std::wstring> oldFile = ShortcutFile(*desktop, oldName);
  if (!oldFile) return -1;
  files.oldFile = *oldFile;
  files.oldExists = Exists(files.oldFile.c_str());
  files.newFile = ShortcutFile(*desktop, newName);
  files.newExists = files.newFile && Exists(files.newFile->c_str());
  // The launcher only keeps a shortcut up to date; it never puts one on the desktop itself.
  if (!files.oldExists && !files.newExists) return -3;

  portico::ComInit com;
  return RewriteShortcut(files, oldName, newName, {targetPath, description, iconPath, workingFolder});
}
