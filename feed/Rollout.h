#pragma once
// Which release an installation takes from a feed. Each installation keeps a bucket, 0..9999, drawn
// once at random; a release rolled out to N percent reaches the buckets below N * 100, so raising N
// only ever adds installations.

#include <cstdint>
#include <string_view>

#include "FeedFormat.h"

constexpr std::uint32_t kRolloutBuckets = 10000;

// A bucket beyond 9999 counts as its remainder, so that no stored value shuts an installation out.
bool InRollout(std::uint32_t bucket, int percent);

// The newest release of `channel` above `installedVersion` whose rollout takes `bucket`; nothing when
// there is none. An invalid installed version is older than every release.
const FeedRelease* PickRelease(const Feed& feed, std::string_view channel, std::string_view installedVersion,
                               std::uint32_t bucket);
