// The updater's text: package addresses resolved against the feed's, which addresses may be
// fetched, the launcher's outcome line and the server's Content-Range.
#include <gtest/gtest.h>

#include <vector>

#include "UpdaterText.h"

namespace {

using namespace portico::client::updater;

TEST(UpdaterText, PackageAddressesResolveAsInABrowser) {
  const char* const feed = "https://updates.example/demo/feed.json?v=2#top";
  const struct {
    const char* reference;
    const char* resolved;
  } cases[] = {
      {"demo-1.2.0.zip", "https://updates.example/demo/demo-1.2.0.zip"},
      {"./pkg/a.zip?sig=x#frag", "https://updates.example/demo/pkg/a.zip?sig=x"},
      {"../../../a.zip", "https://updates.example/a.zip"},
      {"/root.zip", "https://updates.example/root.zip"},
      {"//cdn.example/a.zip", "https://cdn.example/a.zip"},
      {"https://cdn.example/b.zip", "https://cdn.example/b.zip"},
      {"pkg/..", "https://updates.example/demo/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveUrl(feed, c.reference).value_or("<none>"), c.resolved) << c.reference;
  }
  EXPECT_FALSE(ResolveUrl("feed.json", "a.zip"));
  EXPECT_FALSE(ResolveUrl(feed, "https://"));
}

TEST(UpdaterText, SignatureBesideTheFileKeepsTheQuery) {
  EXPECT_EQ(SignatureUrl("https://cdn.example/a.zip"), "https://cdn.example/a.zip.minisig");
  EXPECT_EQ(SignatureUrl("https://cdn.example/a.zip?token=x&e=1#f"), "https://cdn.example/a.zip.minisig?token=x&e=1");
}

TEST(UpdaterText, PlainHttpOnlyToThisMachineUnlessAllowed) {
  const struct {
    const char* url;
    bool strict, allowed;
  } cases[] = {
      {"https://updates.example/f.json", true, true},   {"HTTPS://updates.example/f.json", true, true},
      {"http://127.0.0.1:8080/f.json", true, true},     {"http://LocalHost/f.json", true, true},
      {"http://[::1]:80/f.json", true, true},           {"http://127.0.0.2/f.json", false, true},
      {"http://localhost.example/f.json", false, true}, {"http://user@127.0.0.1.example/f.json", false, true},
      {"ftp://updates.example/f.json", false, false},   {"file:///C:/f.json", false, false},
      {"updates.example/f.json", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsFetchAllowed(c.url, false), c.strict) << c.url;
    EXPECT_EQ(IsFetchAllowed(c.url, true), c.allowed) << c.url;
  }
}

TEST(UpdaterText, OutcomeLines) {
  const std::string sha(64, 'a');
  OutcomeLine refused = ParseOutcomeLine("refused\t1765300000\tsignature\t" + sha + "\n");
  EXPECT_EQ(refused.kind, OutcomeLine::refused);
  EXPECT_EQ(refused.timestamp, 1765300000);
  EXPECT_EQ(refused.reason, "signature");
  EXPECT_EQ(refused.sha256, sha);
  OutcomeLine installed = ParseOutcomeLine("installed\t1765300000\t1.2.0\n");
  EXPECT_EQ(installed.kind, OutcomeLine::installed);
  EXPECT_EQ(installed.version, "1.2.0");
  for (const std::string& bad : std::vector<std::string>{
           "", "installed\t1\t1.2.0", "refused\t0\tsignature\t" + sha.substr(1) + "\n",
           "refused\t0\tsignature\t" + std::string(64, 'A') + "\n", "refused\t-1\tx\t" + sha + "\n",
           "refused\t99999999999999999999\tx\t" + sha + "\n", "installed\t5\n", "other\t5\tx\n"}) {
    EXPECT_EQ(ParseOutcomeLine(bad).kind, OutcomeLine::none) << bad;
  }
}

TEST(UpdaterText, ContentRange) {
  const auto range = ParseContentRange("bytes 100-199/200");
  ASSERT_TRUE(range);
  EXPECT_EQ(range->first, 100u);
  EXPECT_EQ(range->total, 200u);
  for (const char* bad :
       {"bytes 100-199/*", "bytes */200", "bytes 200-100/300", "bytes 0-200/200", "items 0-1/2", ""}) {
    EXPECT_FALSE(ParseContentRange(bad)) << bad;
  }
}

}  // namespace
