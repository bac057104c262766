#pragma once
// Hands a link's payload to the running copy of the target program over its named pipe.

#include <windows.h>

#include <string>

// Writes the payload, in the ANSI code page and NUL-terminated, to "\\.\Pipe\<pipeName>", served
// by the copy with process id `targetProcessId` and by no other process. With `targetProcess`, a
// handle held since the copy was found, that copy must still run: its id then names no other process.
// 0 when the whole message was written; 1 when it could not be (the launcher's exit code).
int HandOffPayload(const std::wstring& payload, const std::wstring& pipeName, DWORD targetProcessId,
                   HANDLE targetProcess = nullptr);
