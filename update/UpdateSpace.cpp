#include "UpdateSpace.h"

#include <algorithm>
#include <limits>

namespace {

constexpr uint64_t kMost = std::numeric_limits<uint64_t>::max();

uint64_t InClusters(uint64_t size, uint64_t cluster) {
  if (cluster <= 1 || size % cluster == 0) return size;
  const uint64_t rounded = size - size % cluster;
  return rounded > kMost - cluster ? kMost : rounded + cluster;
}

uint64_t Plus(uint64_t a, uint64_t b) { return a > kMost - b ? kMost : a + b; }

}  // namespace

uint64_t SpaceNeeded(const std::vector<PlannedFile>& files, uint64_t clusterSize) {
  uint64_t growth = 0;
  uint64_t largest = 0;
  for (const PlannedFile& file : files) {
    const uint64_t newSize = InClusters(file.newSize, clusterSize);
    const uint64_t oldSize = file.oldSize ? InClusters(*file.oldSize, clusterSize) : 0;
    if (newSize > oldSize) growth = Plus(growth, newSize - oldSize);
    largest = std::max(largest, newSize);
  }
  return Plus(growth, largest);
}
