#include "RunningCopyRoad.h"

#include "ConfigDocument.h"
#include "LaunchRecords.h"
#include "PipeHandOff.h"

CopySearch CopySearchFor(const ProductConfig& config, bool forceRun, const LauncherVariant& variant,
                         const LauncherLocation& launcher) {
  CopySearch search;
  search.name = config.ProgName;
  search.forceRun = forceRun;
  search.variant = &variant;
  search.folder = launcher.folder;
  search.announce = AnnounceRunningCopy(config);
  return search;
}

std::optional<int> TakeRunningCopyRoad(const TargetCheck& running, const LinkPayload& link, const std::wstring& pipe) {
  if (running.goAhead) return std::nullopt;
  if (!link.found) return 0;
  const int exitCode = HandOffPayload(link.payload, pipe, running.activatedProcessId, running.activatedProcess.get());
  // A client closing while the user read the box: the link starts a new one rather than being lost.
  if (exitCode != 0 && CopyWentAway(running)) {
    RecordCopyWentAway(running);
    return std::nullopt;
  }
  return RecordHandOff(exitCode);
}

std::optional<int> TakeRoadOfARunningCopy(const ProductConfig& config, const LaunchRequest& request,
                                          const LinkPayload& link, const LauncherVariant& variant,
                                          const LauncherLocation& launcher) {
  const TargetCheck running = CheckRunningTarget(CopySearchFor(config, request.forceRun, variant, launcher));
  RecordInstanceCheck(config.ProgName, running, link, request.forceRun);
  return TakeRunningCopyRoad(running, link, config.Pipe);
}
