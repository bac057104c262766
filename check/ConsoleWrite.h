#pragma once
// Text for the person at a console, or the bytes for a file or a pipe, from the command-line tools.

#include <windows.h>

#include <cstdio>
#include <string>

// A console shows UTF-16 written with WriteConsoleW whatever its code page, on every Windows
// version; a file or a pipe gets the UTF-8 bytes, with line feeds untouched.
void WriteConsoleOrBytes(DWORD standardHandle, std::FILE* stream, const std::string& utf8);
