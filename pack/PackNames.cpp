#include "PackNames.h"

#include <algorithm>
#include <string_view>

#include "AsciiText.h"
#include "EntryName.h"
#include "OrphanName.h"
#include "UnsafeEntryName.h"
#include "Utf8ToUtf16.h"

std::string UnsafeNameReason(const std::wstring& name) {
  if (name.find(L':') != std::wstring::npos) return "holds ':' (a drive or an alternate data stream)";
  for (wchar_t c : name) {
    if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*') {
      return "holds a character Windows does not allow in a file name";
    }
  }
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find_first_of(L"\\/", start), name.size());
    const std::wstring component = name.substr(start, end - start);
    if (IsOrphanName(component) || IsUpdateStampName(component)) {
      return "takes a name the launcher keeps for its own files (~pt~..., ~pt-update.stamp)";
    }
    start = end + 1;
  }
  return "is a reserved device name (CON, NUL, COM1...) or climbs out of the installation";
}

std::optional<std::string> NameRefusal(const std::string& name, bool folder) {
  if (FirstInvalidUtf8(name) != std::string_view::npos) return "is not UTF-8";
  if (name.find('\\') != std::string::npos) return "holds a backslash, which Windows takes as a separator";
  const std::string stored = folder ? name + "/" : name;
  if (stored.size() >= kEntryNameRoom) {
    return "is " + std::to_string(stored.size()) + " bytes long; the launcher takes fewer than " +
           std::to_string(kEntryNameRoom);
  }
  const std::wstring decoded = DecodeEntryName(stored.data(), stored.size());
  if (IsUnsafeEntryName(decoded)) return UnsafeNameReason(decoded);
  if (CleanEntryName(decoded) != decoded) return "is not a plain relative name";
  size_t start = 0;
  while (start < name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    if (end == start) return "has an empty component";
    const char last = name[end - 1];
    if (last == '.' || last == ' ') return "has a component ending in a dot or a blank, which Windows drops";
    start = end + 1;
  }
  return std::nullopt;
}

std::string FoldedName(const std::string& name) { return AsciiLower(name); }
