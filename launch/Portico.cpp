// The launcher: one pass from the command line to the start of the target program, a hand-off
// to its running copy, or nothing at all when it already runs.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ConfigStore.h"
#include "FileLog.h"
#include "InstanceControl.h"
#include "LaunchRecords.h"
#include "LaunchSteps.h"
#include "LaunchText.h"
#include "LauncherVariant.h"
#include "Log.h"
#include "ProtocolRegistration.h"
#include "RunningCopyRoad.h"
#include "UpdateExtraction.h"
#include "UpdateLock.h"
#include "UpdateStaging.h"
#include "UpdateStamp.h"

namespace {

void InstallWaitingUpdate(const UpdateTrust& trust, bool configRead, const LauncherLocation& launcher) {
  // Unread, the configuration names no key: an installation that takes signed updates keeps its
  // download, unmoved, for a start that knows the key.
  if (!configRead && !trust.signatureRequired && HasUpdateStamp(launcher.folder)) {
    RecordUpdateWaitsForItsKey();
    return;
  }
  const StagingReport staging = StageUpdatePackage(trust.signatureRequired);
  RecordStaging(staging);
  if (!staging.pairWaits) RecordExtraction(ExtractUpdatePackage(trust));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  const LauncherVariant& variant = PORTICO_VARIANT;  // the build's choice: kMachineWide or kPerUser
  RestrictDllSearchToSystem32();
  const LaunchRequest request = SplitForceRun(commandLine);

  ProductConfig config;
  std::vector<LaunchArgument> arguments;
  const bool configRead = ConfigStore::Instance().FillProductConfig(config, arguments);
  const LauncherLocation launcher = GetLauncherLocation(instance);
  OpenLogFile(config.LogFile, launcher.folder);
  RecordConfiguration(launcher);

  const TargetCheck running = CheckRunningTarget(CopySearchFor(config, request.forceRun, variant, launcher));
  const LinkPayload link = FindLinkPayload(request.text, config.Protocol);
  RecordInstanceCheck(config.ProgName, running, link, request.forceRun);
  if (const std::optional<int> exitCode = TakeRunningCopyRoad(running, link, config.Pipe)) return *exitCode;

  RecordRegistration(WriteRegFun(config.Protocol + L"\\shell\\open\\command", variant));
  const bool inLauncherFolder = EnterLauncherFolder(launcher);

  std::wstring parameters = link.found ? QuotePayload(link.payload) : request.text;
  const std::wstring targetName = config.ProgName;
  WriteWide(PORTICO_LOG_INFO, L"class path: ") << NarrowText(targetName);
  WriteWide(PORTICO_LOG_INFO, L"par: ") << NarrowText(parameters);

  // Relative to any other folder, the update's names would land in the wrong place.
  if (inLauncherFolder) {
    const UpdateLock oneUpdateAtATime(launcher.folder);
    // Another launcher's update never ended: nothing may start on a half-installed one.
    if (!oneUpdateAtATime.granted()) return RecordUpdateHeldByAnother();
    InstallWaitingUpdate(DecideUpdateTrust(kCompiledUpdateKey, config.UpdatePublicKey), configRead, launcher);
  }
  if (configRead) RecordShortcut(RefreshShortcutFor(config, launcher, variant));

  if (AdminHintKeysHeld()) AppendAdminHint(parameters);
  if (configRead) AppendLaunchArguments(parameters, arguments);
  RecordStart(StartTarget(launcher, targetName, parameters));
  return 0;
}
