// A profile of the launcher's start road: the same calls in the same order as Portico.exe makes
// them, each timed once, in a fresh process each run (a launcher only ever makes the first call).
// It lies in an installation beside Portico.exe and appends "B1step <step> <round> <us>" lines
// to the results file it is given.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
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
#include "UpdateWait.h"

namespace {

LARGE_INTEGER frequency;

double Since(LARGE_INTEGER& mark) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const double us = static_cast<double>(now.QuadPart - mark.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
  mark = now;
  return us;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  QueryPerformanceFrequency(&frequency);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc != 4) return 2;
  const std::wstring results = argv[1];
  const int round = _wtoi(argv[2]);
  const std::wstring target = argv[3];  // started in place of the configured client
  std::vector<std::pair<const char*, double>> steps;
  LARGE_INTEGER mark;
  QueryPerformanceCounter(&mark);

  const LauncherVariant& variant = kMachineWide;
  RestrictDllSearchToSystem32();
  const LaunchRequest request = SplitForceRun(L"");
  ProductConfig config;
  std::vector<LaunchArgument> arguments;
  const bool configRead = ConfigStore::Instance().FillProductConfig(config, arguments);
  const LauncherLocation launcher = GetLauncherLocation(instance);
  OpenLogFile(config.LogFile, launcher.folder);
  RecordConfiguration(launcher);
  steps.emplace_back("config", Since(mark));
  const LinkPayload link = FindLinkPayload(request.text, config.Protocol);
  if (TakeRoadOfARunningCopy(config, request, link, variant, launcher)) return 3;
  steps.emplace_back("running-copies", Since(mark));
  const FolderJudgement installation = JudgeInstallationFolder(launcher.path, launcher.folder, variant);
  steps.emplace_back("folder-judgement", Since(mark));
  RecordRegistration(WriteRegFun(config.Protocol + L"\\shell\\open\\command", variant, installation));
  steps.emplace_back("registration", Since(mark));
  const bool inLauncherFolder = EnterLauncherFolder(launcher);
  std::wstring parameters = link.found ? QuotePayload(link.payload) : request.text;
  const size_t linkEnd = link.found ? parameters.size() : 0;
  WriteWide(PORTICO_LOG_INFO, L"class path: ") << NarrowText(config.ProgName);
  WriteWide(PORTICO_LOG_INFO, L"par: ") << NarrowText(parameters);
  steps.emplace_back("log", Since(mark));
  if (inLauncherFolder) {
    const UpdateLock oneUpdateAtATime = TakeUpdateLock(launcher.folder, config.ProgName);
    if (!oneUpdateAtATime.granted()) return 4;
    RecordUpdateLock(oneUpdateAtATime);
    const StagingReport staging =
        StageUpdatePackage(UpdateSignatureRequired(kCompiledUpdateKey, config.UpdatePublicKey));
    RecordStaging(staging);
    if (!staging.pairWaits && !HasWaitingUpdate(launcher.folder)) {
      RecordExtraction(ExtractionReport());
    } else if (!staging.pairWaits) {
      const UpdateTrust trust =
          DecideUpdateTrust(kCompiledUpdateKey, config.UpdatePublicKey, kCompiledUpdateFloor, config.Protocol);
      const UpdatePass pass = ExtractUpdateOrHandOver(trust, launcher, L"", config.LogFile);
      if (pass.handedOver) return 5;
      RecordExtraction(pass.extraction);
    }
  }
  steps.emplace_back("update-check", Since(mark));
  if (configRead) RecordShortcut(RefreshShortcutIfTrusted(installation, config, launcher, variant), installation);
  steps.emplace_back("shortcut-check", Since(mark));
  if (AdminHintKeysHeld()) AppendAdminHint(parameters);
  if (configRead) AppendLaunchArguments(parameters, arguments, linkEnd);
  steps.emplace_back("keys", Since(mark));
  RecordStart(StartTarget(launcher, target, parameters));
  steps.emplace_back("target-start", Since(mark));

  if (FILE* out = _wfopen(results.c_str(), L"a")) {
    for (const auto& [name, us] : steps) std::fprintf(out, "B1step %s %d %.1f\n", name, round, us);
    std::fclose(out);
  }
  LocalFree(argv);
  return 0;
}
