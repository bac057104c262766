#pragma once
// What each step of a launch did, as records for the log file alone (see FileLog.h): one place that
// turns the steps' results into text, so that the driver keeps reading like the launch itself.

#include <optional>
#include <string>

#include "FolderTrust.h"
#include "InstanceControl.h"
#include "LaunchSteps.h"
#include "LaunchText.h"
#include "ProtocolRegistration.h"
#include "UpdateExtraction.h"
#include "UpdateLock.h"
#include "UpdateStaging.h"

// Where ProductConfig.xml was read, and the interface language.
void RecordConfiguration(const LauncherLocation& launcher);
// The running copies found, ended or brought up, and the road that follows.
void RecordInstanceCheck(const std::wstring& progName, const TargetCheck& running, const LinkPayload& link,
                         bool forceRun);
void RecordRegistration(const RegistrationResult& result);
// The lock's name was taken by a folder; nothing otherwise.
void RecordUpdateLock(const UpdateLock& lock);
// After a wait for another launcher's update, the copy that launcher started is brought up.
void RecordCopyStartedMeanwhile();
// Another launcher's update did not end: nothing is started, and the link, if any, is not opened.
void RecordUpdateHeldByAnother(bool linkDropped);
// The configuration could not be read, and the installation takes signed updates only.
void RecordUpdateWaitsForItsKey();
void RecordStaging(const StagingReport& report);
void RecordExtraction(const ExtractionReport& report);
void RecordShortcut(int result);
// The refresh's result, or why it was left out.
void RecordShortcut(const std::optional<int>& result, const FolderJudgement& folder);
void RecordStart(const TargetStart& start);
// Answers `exitCode`, so that the driver can return it.
int RecordHandOff(int exitCode);
// The copy brought up ended before it took the link: the link takes the start road.
void RecordCopyWentAway(const TargetCheck& running);
