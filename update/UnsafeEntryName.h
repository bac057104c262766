#pragma once
// Entry names that must not reach the file system, judged after cleaning.

#include <string>

// True when the cleaned name is empty (it would name the installation folder itself), still has a
// ".." component in either separator, holds a ":" (a drive, or an NTFS alternate data stream) or
// a character Windows never allows in a file name, or has a component that is a reserved device
// name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, also with an extension, trailing dots or blanks,
// or a superscript digit), or the name of an update's own temporary file.
bool IsUnsafeEntryName(const std::wstring& name);
