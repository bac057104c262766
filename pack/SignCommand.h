#pragma once
// portico-pack sign: an update archive's minisign signature, with the trusted comment the launcher
// checks.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view kSignUsage =
    "  portico-pack sign UPDATE.zip --secret-key KEY --product PROTOCOL [--version V] [--timestamp N]\n"
    "                    [--public-key KEY] [--minisign PROGRAM]\n"
    "      UPDATE.zip.minisig by minisign, trusted comment \"timestamp:N<tab>product:PROTOCOL[<tab>version:V]\".\n"
    "      N is SOURCE_DATE_EPOCH when set, else now. minisign asks for the key's password itself. The\n"
    "      signature is read back as the launcher reads it (and verified with the public KEY when given:\n"
    "      the base64 line of minisign.pub, or the file).\n";

int RunSign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
