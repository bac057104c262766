#pragma once
// The room an update pass needs on the installation's volume, judged before it writes anything.

#include <cstdint>
#include <optional>
#include <vector>

struct PlannedFile {
  uint64_t newSize = 0;
  std::optional<uint64_t> oldSize;  // the installed file it replaces, if there is one
};

// What each file adds over the one it replaces (what another file frees is not counted: the files are
// replaced one at a time), plus the largest new file, which exists twice for a moment while it
// replaces the old one. Sizes are rounded up to whole clusters; the sum saturates, never wraps.
uint64_t SpaceNeeded(const std::vector<PlannedFile>& files, uint64_t clusterSize);
