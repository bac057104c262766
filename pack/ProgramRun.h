#pragma once
// Runs another program (minisign) to its end, with this process's console, so that a password prompt
// reaches the person at the keyboard.

#include <string>
#include <vector>

struct ProgramResult {
  bool started = false;
  int exitCode = -1;
};

// `command[0]` is looked up in PATH when it has no folder. Arguments in UTF-8, passed unchanged.
ProgramResult RunProgram(const std::vector<std::string>& command);

// One argument as the Microsoft C runtime splits a command line back into arguments: quoted when it
// is empty or holds a blank or a quote, with the backslashes before a quote doubled.
std::string QuoteWindowsArgument(const std::string& argument);
