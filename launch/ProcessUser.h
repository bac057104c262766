#pragma once
// Whose copy a process is: the user its access token names.

#include <windows.h>

// True when the process runs as the same user as this one (the user SIDs of the two tokens are
// equal). A process or token that cannot be opened or read counts as another user's.
bool RunsAsThisUser(DWORD processId);
