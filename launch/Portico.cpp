// The launcher: one pass from the command line to the start of the target program, a hand-off
// to its running copy, or nothing at all when it already runs.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ConfigStore.h"
#include "FileLog.h"
#include "FolderTrust.h"
#include "LaunchRecords.h"
#include "LaunchSteps.h"
#include "LaunchText.h"
#include "LauncherVariant.h"
#include "Log.h"
#include "PassHandOver.h"
#include "ProtocolRegistration.h"
#include "RunningCopyRoad.h"
#include "UpdateExtraction.h"
#include "UpdateStaging.h"
#include "UpdateStamp.h"
#include "UpdateWait.h"

namespace {

// True when a copy of the launcher took the pass over, to go on with this start once this one ends.
bool InstallWaitingUpdate(const ProductConfig& config, bool configRead, const LauncherLocation& launcher,
                          const std::wstring& commandLine) {
  // Unread, the configuration names neither the key nor the product, and whoever holds it open must
  // not decide what installs: the download stays, unmoved, for a start that reads it.
  if (!configRead) {
    if (HasUpdateStamp(launcher.folder) || HasWaitingUpdate(launcher.folder)) RecordUpdateWaitsForItsKey();
    return false;
  }
  const StagingReport staging = StageUpdatePackage(UpdateSignatureRequired(kCompiledUpdateKey, config.UpdatePublicKey));
  RecordStaging(staging);
  if (staging.pairWaits) return false;
  // No update, no trust to decide: nothing of the signature code runs on a plain start. An archive
  // that comes after this look waits for the next start, as one that came a moment later would.
  if (!HasWaitingUpdate(launcher.folder)) {
    RecordExtraction(ExtractionReport());
    return false;
  }
  const UpdateTrust trust =
      DecideUpdateTrust(kCompiledUpdateKey, config.UpdatePublicKey, kCompiledUpdateFloor, config.Protocol);
  const UpdatePass pass = ExtractUpdateOrHandOver(trust, launcher, commandLine, config.LogFile);
  if (!pass.handedOver) RecordExtraction(pass.extraction);
  return pass.handedOver;
}

enum class UpdateTurn { Immediate, AfterAWait, NeverCame, HandedOver };

UpdateTurn InstallUpdateInTurn(const ProductConfig& config, bool configRead, const LauncherLocation& launcher,
                               const std::wstring& commandLine) {
  const UpdateLock oneUpdateAtATime = TakeUpdateLock(launcher.folder, config.ProgName);
  // Another launcher's update never ended: nothing may start on a half-installed one.
  if (!oneUpdateAtATime.granted()) return UpdateTurn::NeverCame;
  RecordUpdateLock(oneUpdateAtATime);
  if (InstallWaitingUpdate(config, configRead, launcher, commandLine)) return UpdateTurn::HandedOver;
  return oneUpdateAtATime.waited() ? UpdateTurn::AfterAWait : UpdateTurn::Immediate;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  const LauncherVariant& variant = PORTICO_VARIANT;  // the build's choice: kMachineWide or kPerUser
  RestrictDllSearchToSystem32();
  const PassRunner runner = RecognisePassRunner(commandLine);
  if (runner.refused) return 1;
  const LaunchRequest request = SplitForceRun(runner.commandLine);

  ProductConfig config;
  std::vector<LaunchArgument> arguments;
  const bool configRead = ConfigStore::Instance().FillProductConfig(config, arguments);
  const LauncherLocation launcher = runner.active ? runner.launcher : GetLauncherLocation(instance);
  OpenLogFile(config.LogFile, launcher.folder);
  RecordConfiguration(launcher);

  const LinkPayload link = FindLinkPayload(request.text, config.Protocol);
  if (const std::optional<int> exitCode = TakeRoadOfARunningCopy(config, request, link, variant, launcher)) {
    return *exitCode;
  }

  const FolderJudgement installation = JudgeInstallationFolder(launcher.path, launcher.folder, variant);
  // A copy that runs an update pass would register its own, passing file: its launcher did so already.
  if (!runner.active) {
    RecordRegistration(WriteRegFun(config.Protocol + L"\\shell\\open\\command", variant, installation));
  }
  const bool inLauncherFolder = EnterLauncherFolder(launcher);

  std::wstring parameters = link.found ? QuotePayload(link.payload) : request.text;
  // What the page wrote ends here: extra arguments are looked for only after it.
  const size_t linkEnd = link.found ? parameters.size() : 0;
  const std::wstring targetName = config.ProgName;
  WriteWide(PORTICO_LOG_INFO, L"class path: ") << NarrowText(targetName);
  WriteWide(PORTICO_LOG_INFO, L"par: ") << NarrowText(parameters);

  // Relative to any other folder, the update's names would land in the wrong place.
  if (inLauncherFolder) {
    const UpdateTurn turn = InstallUpdateInTurn(config, configRead, launcher, runner.commandLine);
    if (turn == UpdateTurn::NeverCame) return TellUpdateNeverEnded(config.ProgName, link);
    if (turn == UpdateTurn::HandedOver) return 0;
    // The launcher it waited for may have started the target meanwhile: a copy with a window takes the link.
    if (turn == UpdateTurn::AfterAWait) {
      if (const std::optional<int> exitCode =
              TakeRoadOfACopyStartedMeanwhile(config, request, link, variant, launcher)) {
        return *exitCode;
      }
    }
  }
  if (configRead) RecordShortcut(RefreshShortcutIfTrusted(installation, config, launcher, variant), installation);

  if (AdminHintKeysHeld()) AppendAdminHint(parameters);
  if (configRead) AppendLaunchArguments(parameters, arguments, linkEnd);
  RecordStart(StartTarget(launcher, targetName, parameters));
  return 0;
}
