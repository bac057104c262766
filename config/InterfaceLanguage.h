#pragma once
// The interface language: from the Language setting of ProductConfig.xml when it gives one, else
// from the target program's Language value under HKEY_CURRENT_USER. Both take one rule.

#include <string>

// True (Chinese) unless the default value of "SOFTWARE\<bare name>\Language" names "en-US" and not
// "zh-CN". `progName` is ProgName in the ANSI code page; its bare name (the last four bytes cut) is
// read as code page 936 whatever the system's code page. A bare name that does not fit the
// conversion's room (127 characters) reads no key at all: Chinese.
bool ChineseInterfaceFor(const std::string& progName);

// The same rule on the Language setting's text, in place of the registry value: the registry is not
// read. Text whose ANSI form would not fit the registry value's room means Chinese, as such a value does.
bool ChineseInterfaceForSetting(const std::wstring& language);
