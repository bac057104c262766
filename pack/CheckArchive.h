#pragma once
// portico-pack check: what the launcher will do with an update archive, judged by its own code.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view kCheckUsage =
    "  portico-pack check UPDATE.zip [--key KEY] [--signature FILE] [--floor SECONDS]\n"
    "                     [--installation DIR] [--json]\n"
    "      Each entry added, replaced or skipped and why, each removal, the signature (UPDATE.zip.minisig\n"
    "      beside it unless --signature names one) checked against KEY (the base64 line of minisign.pub;\n"
    "      without it, the key compiled into DIR's launcher or its UpdatePublicKey) with the floor given\n"
    "      and the installation's ~pt-update.stamp, and warnings: everything under one top\n"
    "      folder the installation does not have, ProductConfig.xml or the launcher in the archive, the\n"
    "      program the installation starts removed. Exit code 0 nothing to warn of, 1 warnings, 2 the\n"
    "      launcher would refuse or could not read the archive, 3 a bad command line.\n";

int RunCheckArchive(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
