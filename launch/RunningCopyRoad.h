#pragma once
// The road a launch takes once instance control found a running copy with a window: the quiet road,
// the hand-off of the link, or, when the copy went away while the link was on its way, the start road.

#include <optional>
#include <string>

#include "ConfigStore.h"
#include "InstanceControl.h"
#include "LaunchSteps.h"
#include "LaunchText.h"

// The copies this launcher counts: its ProgName in its own folder, as its variant sees them, and
// whether bringing one up is announced with the box.
CopySearch CopySearchFor(const ProductConfig& config, bool forceRun, const LauncherVariant& variant,
                         const LauncherLocation& launcher);

// The launcher's exit code when the launch ends here; nothing when it goes on to start the target
// (no copy was brought up, or the copy brought up ended before it took the link).
std::optional<int> TakeRunningCopyRoad(const TargetCheck& running, const LinkPayload& link, const std::wstring& pipe);

// The first look at the running copies: checks them, records what was found and takes the road above.
std::optional<int> TakeRoadOfARunningCopy(const ProductConfig& config, const LaunchRequest& request,
                                          const LinkPayload& link, const LauncherVariant& variant,
                                          const LauncherLocation& launcher);

// The look again after a wait for another launcher's update, during which that launcher may have
// started a copy: one with a window takes the link; none is ended. Nothing with forcerun.
std::optional<int> TakeRoadOfACopyStartedMeanwhile(const ProductConfig& config, const LaunchRequest& request,
                                                   const LinkPayload& link, const LauncherVariant& variant,
                                                   const LauncherLocation& launcher);
