// The update feed from untrusted bytes: whatever reads must hold only valid values, write back to a
// feed that reads the same, and pick only a newer release of the asked channel.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FeedFormat.h"
#include "FuzzCheck.h"
#include "Rollout.h"

namespace {

void CheckFeed(std::string_view text) {
  const auto feed = ReadFeed(text, nullptr);
  if (!feed) return;
  FUZZ_CHECK(text.size() <= kMaxFeedSize);
  FUZZ_CHECK(IsValidProductName(feed->product) && feed->published >= 0);
  for (const FeedRelease& release : feed->releases) {
    FUZZ_CHECK(IsValidVersion(release.version) && IsValidChannel(release.channel));
    FUZZ_CHECK(release.rollout >= 0 && release.rollout <= 100);
    FUZZ_CHECK(IsValidPackageUrl(release.full.url) && IsValidSha256(release.full.sha256) && release.full.size > 0);
    for (const FeedPackage& delta : release.deltas) {
      FUZZ_CHECK(CompareVersions(delta.from, release.version) < 0 && IsValidPackageUrl(delta.url));
    }
  }
  const std::string written = WriteFeed(*feed);
  const auto again = ReadFeed(written, nullptr);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(WriteFeed(*again) == written);

  for (const FeedRelease& release : feed->releases) {
    const FeedRelease* pick = PickRelease(*feed, release.channel, "0", 0);
    if (release.rollout > 0 && CompareVersions(release.version, "0") > 0) FUZZ_CHECK(pick != nullptr);
    if (pick) FUZZ_CHECK(pick->channel == release.channel && CompareVersions(pick->version, "0") > 0);
  }
}

void CheckVersions(std::string_view text) {
  const size_t cut = text.find('|');
  if (cut == std::string_view::npos) return;
  const std::string_view a = text.substr(0, cut), b = text.substr(cut + 1);
  const int ab = CompareVersions(a, b), ba = CompareVersions(b, a);
  FUZZ_CHECK((ab > 0) == (ba < 0) && (ab == 0) == (ba == 0));
  if (!IsValidVersion(a) && IsValidVersion(b)) FUZZ_CHECK(ab < 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckFeed(text);
  CheckVersions(text);
  return 0;
}
