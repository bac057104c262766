#pragma once
// The interface language, from the target program's Language value under HKEY_CURRENT_USER.

#include <string>

// True (Chinese) unless the default value of "SOFTWARE\<bare name>\Language" names "en-US" and not
// "zh-CN". `progName` is ProgName in the ANSI code page; its bare name (the last four bytes cut) is
// read as code page 936 whatever the system's code page.
bool ChineseInterfaceFor(const std::string& progName);
