#include "RemovalList.h"

#include <algorithm>

#include "EntryName.h"
#include "OrphanName.h"
#include "UnsafeEntryName.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Windows trims trailing dots and blanks from every component, so such a name would reach another
// file than the one it spells; an empty component is no file at all.
bool HasUnclearComponent(const std::wstring& name) {
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    if (end == start || name[end - 1] == L'.' || name[end - 1] == L' ') return true;
    if (end == name.size()) return false;
    start = end + 1;
  }
}

// The path a line names, '\' separated, or empty when it must not be removed.
std::wstring JudgeLine(std::string_view line) {
  if (line.size() >= kEntryNameRoom || !IsWellFormedUtf8(line.data(), line.size())) return {};
  std::wstring name = DecodeEntryName(line.data(), line.size());
  std::replace(name.begin(), name.end(), L'/', L'\\');
  const bool folder = !name.empty() && name.back() == L'\\';
  if (folder) name.pop_back();
  if (name.empty() || CleanEntryName(name) != name || IsUnsafeEntryName(name) || HasUnclearComponent(name)) return {};
  return folder ? name + L'\\' : name;
}

size_t CountLines(std::string_view text) {
  const size_t ends = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  return ends + ((text.empty() || text.back() == '\n') ? 0 : 1);
}

}  // namespace

bool IsRemovalListName(const std::wstring& entryName) { return IsOwnName(entryName, kRemovalListName); }

RemovalList ParseRemovalList(std::string_view bytes) {
  RemovalList list;
  if (bytes.size() > kRemovalListMostBytes) {
    list.refused = true;
    return list;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (CountLines(bytes) > kRemovalListMostLines) {
    list.refused = true;
    return list;
  }
  while (!bytes.empty()) {
    const size_t end = std::min(bytes.find('\n'), bytes.size());
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    std::wstring path = JudgeLine(line);
    if (path.empty()) {
      ++list.unsafe;
    } else {
      list.paths.push_back(std::move(path));
    }
  }
  return list;
}

std::string WriteRemovalList(const std::vector<std::wstring>& paths) {
  std::vector<std::string> lines;
  for (std::wstring path : paths) {
    if (path.empty() || path.find_first_of(L"\r\n") != std::wstring::npos) continue;
    std::replace(path.begin(), path.end(), L'\\', L'/');
    lines.push_back(EncodeUtf8(path));
  }
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  std::string text;
  // A first path that begins with U+FEFF would be read as a BOM and lose it: an empty line goes first.
  if (!lines.empty() && lines.front().compare(0, 3, "\xEF\xBB\xBF") == 0) text += '\n';
  for (const std::string& line : lines) text += line + '\n';
  return text;
}
