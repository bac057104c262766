#include "LaunchRoad.h"

#include "InstanceControl.h"
#include "LaunchRecords.h"
#include "PipeHandOff.h"

std::optional<int> TakeRoadOfARunningCopy(const ProductConfig& config, const LaunchRequest& request,
                                          const LinkPayload& link, const LauncherVariant& variant) {
  const TargetCheck running = CheckRunningTarget(config.ProgName, request.forceRun, variant);
  RecordInstanceCheck(config.ProgName, running, link, request.forceRun);
  if (running.goAhead) return std::nullopt;
  return link.found ? RecordHandOff(HandOffPayload(link.payload, config.Pipe, running.activatedProcessId)) : 0;
}
