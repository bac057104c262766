#pragma once
// The registration with its last step exchangeable, because the registry cannot be made to refuse
// a value on a key that was just opened with full access. WriteRegFun passes the real store.

#include <windows.h>

#include <string>

#include "FolderTrust.h"
#include "LauncherVariant.h"
#include "ProtocolRegistration.h"

// Stores the command as the default value of the open command key; answers a Win32 error code.
using StoreOpenCommand = LSTATUS (*)(HKEY commandKey, const std::wstring& command);

RegistrationResult RegisterOpenCommand(const std::wstring& subKey, StoreOpenCommand store,
                                       const LauncherVariant& variant = kMachineWide,
                                       const FolderJudgement& folder = {});
