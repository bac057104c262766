// The removal list read from any bytes. Every path it lets through must be one an archive entry
// could also write, and must survive being written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "EntryName.h"
#include "FuzzCheck.h"
#include "RemovalList.h"
#include "UnsafeEntryName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const RemovalList list = ParseRemovalList(bytes);
  if (list.refused) {
    FUZZ_CHECK(list.paths.empty() && list.unsafe == 0);
    return 0;
  }
  FUZZ_CHECK(list.paths.size() + static_cast<size_t>(list.unsafe) <= size);
  for (const std::wstring& path : list.paths) {
    FUZZ_CHECK(!path.empty());
    FUZZ_CHECK(path.find(L'/') == std::wstring::npos);
    std::wstring name = path;
    if (name.back() == L'\\') name.pop_back();
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(!IsUnsafeEntryName(name));
    FUZZ_CHECK(CleanEntryName(name) == name);
  }
  const RemovalList again = ParseRemovalList(WriteRemovalList(list.paths));
  FUZZ_CHECK(again.unsafe == 0 && !again.refused);
  for (const std::wstring& path : again.paths) {
    bool found = false;
    for (const std::wstring& first : list.paths) found = found || first == path;
    FUZZ_CHECK(found);
  }
  return 0;
}
