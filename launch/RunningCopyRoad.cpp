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

std::optional<int> TakeRoadOfACopyStartedMeanwhile(const ProductConfig& config, const LaunchRequest& request,
                                                   const LinkPayload& link, const LauncherVariant& variant,
                                                   const LauncherLocation& launcher) {
  // forcerun ended the copies at the first look; one started since is the other launcher's and stays.
  if (request.forceRun) return std::nullopt;
  CopySearch search = CopySearchFor(config, false, variant, launcher);
  // A copy the other launcher has just started may not have made its window yet: it is no hung leftover.
  search.endCopiesWithoutWindow = false;
  const TargetCheck running = CheckRunningTarget(search);
  // The start road goes on as recorded; only a copy brought up changes what the log has said.
  if (running.goAhead) return std::nullopt;
  RecordCopyStartedMeanwhile();
  RecordInstanceCheck(config.ProgName, running, link, false);
  return TakeRunningCopyRoad(running, link, config.Pipe);
}
