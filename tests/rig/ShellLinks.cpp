#include "ShellLinks.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <stdexcept>
#include <tuple>

#include "Installation.h"
#include "WinHandles.h"

namespace rig {
namespace {

portico::ComPtr<IShellLinkW> NewShellLink() {
  portico::ComPtr<IShellLinkW> link;
  CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  return link;
}

}  // namespace

bool ShortcutContent::operator==(const ShortcutContent& other) const {
  return std::tie(target, description, icon, iconIndex, workingFolder, arguments) ==
         std::tie(other.target, other.description, other.icon, other.iconIndex, other.workingFolder, other.arguments);
}

std::ostream& operator<<(std::ostream& out, const ShortcutContent& content) {
  return out << '"' << ToUtf8(content.target) << "\" \"" << ToUtf8(content.description) << "\" \""
             << ToUtf8(content.icon) << "\"," << content.iconIndex << " \"" << ToUtf8(content.workingFolder) << "\" \""
             << ToUtf8(content.arguments) << '"';
}

bool WriteShortcut(const std::filesystem::path& file, const ShortcutContent& content) {
  auto link = NewShellLink();
  portico::ComPtr<IPersistFile> persist;
  if (!link || FAILED(link.QueryInterface(IID_IPersistFile, persist))) return false;
  link->SetPath(content.target.c_str());
  link->SetDescription(content.description.c_str());
  link->SetIconLocation(content.icon.c_str(), content.iconIndex);
  link->SetWorkingDirectory(content.workingFolder.c_str());
  link->SetArguments(content.arguments.c_str());
  return SUCCEEDED(persist->Save(file.c_str(), TRUE));
}

std::optional<ShortcutContent> ReadShortcut(const std::filesystem::path& file) {
  auto link = NewShellLink();
  portico::ComPtr<IPersistFile> persist;
  if (!link || FAILED(link.QueryInterface(IID_IPersistFile, persist)) ||
      FAILED(persist->Load(file.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  wchar_t text[4][INFOTIPSIZE] = {};
  ShortcutContent content;
  link->GetPath(text[0], INFOTIPSIZE, nullptr, SLGP_RAWPATH);
  link->GetDescription(text[1], INFOTIPSIZE);
  link->GetIconLocation(text[2], INFOTIPSIZE, &content.iconIndex);
  link->GetWorkingDirectory(text[3], INFOTIPSIZE);
  content.target = text[0];
  content.description = text[1];
  content.icon = text[2];
  content.workingFolder = text[3];
  link->GetArguments(text[0], INFOTIPSIZE);
  content.arguments = text[0];
  return content;
}

std::filesystem::path KnownFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) {
    throw std::runtime_error("the shell names no such folder");
  }
  return path;
}

}  // namespace rig
