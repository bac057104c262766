#pragma once
// portico-pack feed: a release added to (or replaced in) the update feed, with each package's size and
// SHA-256, and the feed signed when a key is given.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view kFeedUsage =
    "  portico-pack feed FEED.json --product PROTOCOL --version V --channel C [--rollout N] [--notes URL]\n"
    "                    --full PKG.zip [--delta FROM=PKG.zip ...] [--secret-key KEY [--public-key KEY]]\n"
    "                    [--timestamp N] [--minisign PROGRAM]\n"
    "      Adds release V of channel C (or replaces it) in FEED.json, made when absent; packages are\n"
    "      listed by file name, so they go beside the feed. \"published\" is N (SOURCE_DATE_EPOCH, else\n"
    "      now), and always later than the feed's last. With a key, FEED.json.minisig is signed with\n"
    "      \"timestamp:<published><tab>product:PROTOCOL\".\n";

int RunFeed(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
