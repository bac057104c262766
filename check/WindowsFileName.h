#pragma once
// Names Windows refuses for a file, beyond the separators the launcher itself refuses.

#include <string>

// False for a name with a control character or one of < > " | ? *, and for a device name such as
// CON or COM1 (alone or before an extension): the shell cannot save "<name>.lnk" under it.
bool IsWindowsFileName(const std::wstring& name);
