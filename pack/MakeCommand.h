#pragma once
// portico-pack make: an update archive from the installation tree of a release, whole or as the
// changes from an older one.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view kMakeUsage =
    "  portico-pack make NEW_DIR [--from OLD_DIR] -o UPDATE.zip\n"
    "      An update archive that turns installation OLD_DIR into NEW_DIR: the files added or changed\n"
    "      (by content), and ~pt~removals.txt for what NEW_DIR no longer has. Without --from, every file\n"
    "      of NEW_DIR. The same trees give the same bytes. A name the launcher would refuse stops it\n"
    "      (exit code 2), naming the file.\n";

int RunMake(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
