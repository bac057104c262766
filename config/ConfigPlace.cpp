#include "ConfigPlace.h"

ConfigPlace PlaceOfConfig(FileReach beside, bool folderAbove) {
  return beside == FileReach::kMissing && folderAbove ? ConfigPlace::kAbove : ConfigPlace::kBeside;
}
