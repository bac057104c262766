#include "Rollout.h"

bool InRollout(std::uint32_t bucket, int percent) {
  if (percent <= 0) return false;
  if (percent >= 100) return true;
  return bucket % kRolloutBuckets < static_cast<std::uint32_t>(percent) * 100;
}

const FeedRelease* PickRelease(const Feed& feed, std::string_view channel, std::string_view installedVersion,
                               std::uint32_t bucket) {
  const FeedRelease* pick = nullptr;
  for (const FeedRelease& release : feed.releases) {
    if (release.channel != channel || CompareVersions(release.version, installedVersion) <= 0) continue;
    if (!InRollout(bucket, release.rollout)) continue;
    if (!pick || CompareVersions(release.version, pick->version) > 0) pick = &release;
  }
  return pick;
}
