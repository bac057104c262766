#pragma once

#include <string>

// Makes the running launcher the open command of the URL scheme whose command key is subKey
// (below HKEY_CLASSES_ROOT).
void WriteRegFun(const std::wstring& subKey);
