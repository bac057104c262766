#include "LauncherVariant.h"

#include <shlobj.h>

const LauncherVariant kMachineWide = {HKEY_CLASSES_ROOT, L"", CSIDL_COMMON_DESKTOPDIRECTORY, false, true, true};

const LauncherVariant kPerUser = {HKEY_CURRENT_USER, L"Software\\Classes", CSIDL_DESKTOPDIRECTORY, true, false, false};
