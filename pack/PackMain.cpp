#include "PackMain.h"

#include <string_view>

#include "CheckArchive.h"
#include "FeedCommand.h"
#include "MakeCommand.h"
#include "SignCommand.h"

namespace {

using Subcommand = int (*)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

struct SubcommandRow {
  std::string_view name;
  Subcommand run;
  std::string_view usage;
};

// One row per subcommand; its usage lines go into --help as they stand.
const SubcommandRow kSubcommands[] = {
    {"make", RunMake, kMakeUsage},
    {"check", RunCheckArchive, kCheckUsage},
    {"sign", RunSign, kSignUsage},
    {"feed", RunFeed, kFeedUsage},
};

void PrintHelp(std::ostream& out) {
  out << "portico-pack: makes, checks and signs Portico update archives, and lists them in a feed.\n\nUsage:\n";
  for (const SubcommandRow& row : kSubcommands) out << row.usage;
  out << "\nExit code: 0 done, 1 done with warnings, 2 refused (the input is not what the launcher takes),\n"
         "3 a bad command line.\n";
}

}  // namespace

int RunPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    PrintHelp(err);
    return kPackUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp(out);
    return kPackClean;
  }
  for (const SubcommandRow& row : kSubcommands) {
    if (args[0] == row.name) return row.run(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  }
  err << "portico-pack: no subcommand '" << args[0] << "'\n";
  PrintHelp(err);
  return kPackUsage;
}
