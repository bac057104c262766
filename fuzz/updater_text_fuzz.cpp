// The client updater's text from untrusted places: a package's address in the feed (resolved against
// the feed's), the server's Content-Range, and the outcome line in temp, which anyone who can write
// temp may have written. Whatever parses must hold what the updater then relies on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "UpdaterText.h"

using namespace portico::client::updater;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      const auto resolved = ResolveUrl("https://updates.example/demo/feed.json", text);
      // A relative reference stays on the feed's server and scheme.
      if (resolved && text.find(':') == std::string_view::npos && text.substr(0, 2) != "//") {
        FUZZ_CHECK(resolved->rfind("https://updates.example/", 0) == 0);
        FUZZ_CHECK(IsFetchAllowed(*resolved, false));
      }
      break;
    }
    case 1: {
      const auto range = ParseContentRange(text);
      if (range) FUZZ_CHECK(range->first <= range->last && range->last < range->total);
      break;
    }
    default: {
      const OutcomeLine outcome = ParseOutcomeLine(text);
      if (outcome.kind == OutcomeLine::refused) FUZZ_CHECK(outcome.sha256.size() == 64 && !outcome.reason.empty());
      if (outcome.kind != OutcomeLine::none) FUZZ_CHECK(outcome.timestamp >= 0);
      break;
    }
  }
  return 0;
}
