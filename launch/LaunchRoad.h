#pragma once
// The road a running copy of the target decides: the first look at the start, and the look again
// after a wait for another launcher's update, during which that launcher may have started it.

#include <optional>

#include "ConfigStore.h"
#include "LaunchText.h"

struct LauncherVariant;

// Checks the running copies and records what was found. Nothing when the start goes on; else the
// link was handed to the copy brought up (or, without a link, the quiet road taken), and the answer
// is the launcher's exit code.
std::optional<int> TakeRoadOfARunningCopy(const ProductConfig& config, const LaunchRequest& request,
                                          const LinkPayload& link, const LauncherVariant& variant);
