// The launcher: one pass from the command line to the start of the target program, a hand-off
// to its running copy, or nothing at all when it already runs.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ConfigStore.h"
#include "FileLog.h"
#include "LaunchRecords.h"
#include "LaunchRoad.h"
#include "LaunchSteps.h"
#include "LaunchText.h"
#include "LauncherVariant.h"
#include "Log.h"
#include "ProtocolRegistration.h"
#include "UpdateExtraction.h"
#include "UpdateStaging.h"
#include "UpdateStamp.h"
#include "UpdateWait.h"

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

enum class UpdateTurn { Immediate, AfterAWait, NeverCame };

UpdateTurn InstallUpdateInTurn(const ProductConfig& config, bool configRead, const LauncherLocation& launcher) {
  const UpdateLock oneUpdateAtATime = TakeUpdateLock(launcher.folder, config.ProgName);
  // Another launcher's update never ended: nothing may start on a half-installed one.
  if (!oneUpdateAtATime.granted()) return UpdateTurn::NeverCame;
  RecordUpdateLock(oneUpdateAtATime);
  InstallWaitingUpdate(DecideUpdateTrust(kCompiledUpdateKey, config.UpdatePublicKey), configRead, launcher);
  return oneUpdateAtATime.waited() ? UpdateTurn::AfterAWait : UpdateTurn::Immediate;
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

  const LinkPayload link = FindLinkPayload(request.text, config.Protocol);
  if (const std::optional<int> exitCode = TakeRoadOfARunningCopy(config, request, link, variant)) return *exitCode;

  RecordRegistration(WriteRegFun(config.Protocol + L"\\shell\\open\\command", variant));
  const bool inLauncherFolder = EnterLauncherFolder(launcher);

  std::wstring parameters = link.found ? QuotePayload(link.payload) : request.text;
  const std::wstring targetName = config.ProgName;
  WriteWide(PORTICO_LOG_INFO, L"class path: ") << NarrowText(targetName);
  WriteWide(PORTICO_LOG_INFO, L"par: ") << NarrowText(parameters);

  // Relative to any other folder, the update's names would land in the wrong place.
  if (inLauncherFolder) {
    const UpdateTurn turn = InstallUpdateInTurn(config, configRead, launcher);
    if (turn == UpdateTurn::NeverCame) return TellUpdateNeverEnded(config.ProgName, link);
    // The launcher it waited for may have started the target meanwhile: the first look, once more.
    if (turn == UpdateTurn::AfterAWait) {
      if (const std::optional<int> exitCode = TakeRoadOfARunningCopy(config, request, link, variant)) return *exitCode;
    }
  }
  if (configRead) RecordShortcut(RefreshShortcutFor(config, launcher, variant));

  if (AdminHintKeysHeld()) AppendAdminHint(parameters);
  if (configRead) AppendLaunchArguments(parameters, arguments);
  RecordStart(StartTarget(launcher, targetName, parameters));
  return 0;
}
