#pragma once
// portico-pack's command line: the first argument names the subcommand, the rest is its own.

#include <ostream>
#include <string>
#include <vector>

// Exit codes shared by every subcommand: 0 done and nothing to report, 1 done with warnings,
// 2 refused (the input is not what the launcher would take), 3 a bad command line.
constexpr int kPackClean = 0;
constexpr int kPackWarnings = 1;
constexpr int kPackRefused = 2;
constexpr int kPackUsage = 3;

// Arguments in UTF-8, without the program name.
int RunPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
