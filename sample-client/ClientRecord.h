#pragma once
// SampleClient's record of what reached it, kept in "<program>.record.txt" beside the program.
// One line per event; a backslash is written as \\ and every byte that is not printable ASCII as
// \xNN, so the file is plain text and a reader can recover the exact bytes.

#include <string>

// The record file for the program at `programPath`.
std::wstring RecordPathFor(const std::wstring& programPath);

// Escapes the backslash as "\\" and bytes outside printable ASCII as "\xNN".
std::string EscapeBytes(const std::string& bytes);

// Appends one line (a line feed is added) to the record; safe to call from several threads and
// several copies of the program at once.
void AppendRecord(const std::wstring& recordPath, const std::string& line);

// UTF-16 as UTF-8.
std::string ToUtf8(const std::wstring& text);
