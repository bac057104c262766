// The feed's reader, writer, versions and rollouts, on constructed feeds.
#include <gtest/gtest.h>

#include <string>

#include "FeedFormat.h"
#include "Rollout.h"
#include "StrictJson.h"

namespace {

const std::string kSha(64, 'a');

std::string Package(const std::string& extra = "") {
  return R"({"url": "demo-1.2.0.zip", "size": 123456, "sha256": ")" + kSha + "\"" + extra + "}";
}

// A feed with one release whose fields (after "version") are `release`.
std::string FeedWith(const std::string& release, const std::string& top = "") {
  return R"({"format": 1, "product": "demo", "published": 1765300000, )" + top +
         R"("releases": [{"version": "1.2.0", )" + release + "}]}";
}

std::string Valid() {
  return FeedWith(R"("channel": "stable", "rollout": 100, "notes": "https://example.com/n", "full": )" + Package() +
                  R"(, "deltas": [{"from": "1.1.0", "url": "d.zip", "size": 2345, "sha256": ")" + kSha + "\"}]");
}

TEST(FeedFormat, ReadsTheAgreedShape) {
  std::string error;
  const auto feed = ReadFeed(Valid(), &error);
  ASSERT_TRUE(feed) << error;
  EXPECT_EQ(feed->product, "demo");
  EXPECT_EQ(feed->published, 1765300000);
  ASSERT_EQ(feed->releases.size(), 1u);
  const FeedRelease& release = feed->releases[0];
  EXPECT_EQ(release.version, "1.2.0");
  EXPECT_EQ(release.full.url, "demo-1.2.0.zip");
  EXPECT_EQ(release.full.size, 123456u);
  ASSERT_EQ(release.deltas.size(), 1u);
  EXPECT_EQ(release.deltas[0].from, "1.1.0");
  EXPECT_EQ(release.deltas[0].size, 2345u);
}

TEST(FeedFormat, AcceptsEachValidVariation) {
  const std::string full = R"("channel": "beta-2", "full": )";
  const struct {
    const char* name;
    std::string json;
  } cases[] = {
      {"optional keys absent", FeedWith(full + Package())},
      {"unknown keys anywhere",
       FeedWith(full + Package(R"(, "x": [1.5e3, {"y": null}, true])"), R"("extra": {"a": -0.5}, )")},
      {"escapes and surrogate pair in an ignored key",
       FeedWith(full + Package(), R"("z": "\u00e9\ud83d\ude00\n\/", )")},
      {"raw UTF-8 in an ignored key", FeedWith(full + Package(), "\"z\": \"\xC3\xA9\xF0\x9F\x98\x80\", ")},
      {"leading byte-order mark", "\xEF\xBB\xBF" + FeedWith(full + Package())},
      {"whitespace everywhere", " \r\n\t" + FeedWith(full + Package()) + "\n "},
      {"absolute https package",
       FeedWith(full + R"({"url": "https://cdn.example.com/a.zip", "size": 1, "sha256": ")" + kSha + "\"}")},
      {"rollout 0 and empty notes", FeedWith(full + Package() + R"(, "rollout": 0, "notes": "")")},
      {"the largest size",
       FeedWith(full + R"({"url": "a.zip", "size": 18446744073709551615, "sha256": ")" + kSha + "\"}")},
      {"no releases", R"({"format": 1, "product": "demo", "published": 0, "releases": []})"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_TRUE(ReadFeed(c.json, &error)) << c.name << ": " << error;
  }
}

TEST(FeedFormat, RefusesEachInvalidShapeWithItsReason) {
  const std::string ok = R"("channel": "stable", "full": )" + Package();
  const std::string deltaHead = ok + R"(, "deltas": [{"url": "d.zip", "size": 5, "sha256": ")" + kSha + "\", ";
  const struct {
    const char* name;
    std::string json;
    const char* error;  // a part of the message
  } cases[] = {
      {"empty", "", "expected a value"},
      {"not an object", "[]", "the feed: not an object"},
      {"trailing comma", FeedWith(ok + ","), "expected a key"},
      {"comment", "/*x*/" + FeedWith(ok), "expected a value"},
      {"text after", FeedWith(ok) + "{}", "text after the value"},
      {"duplicate key", FeedWith(ok + R"(, "channel": "beta")"), "duplicate key \"channel\""},
      {"duplicate ignored key", FeedWith(ok, R"("x": 1, "x": 2, )"), "duplicate key \"x\""},
      {"lone high surrogate", FeedWith(ok, R"("x": "\ud83d", )"), "high surrogate without a low one"},
      {"lone low surrogate", FeedWith(ok, R"("x": "\ude00", )"), "low surrogate without a high one"},
      {"bad escape", FeedWith(ok, R"("x": "\q", )"), "unknown escape"},
      {"short \\u", FeedWith(ok, R"("x": "\u12", )"), "four hexadecimal digits"},
      {"control character", FeedWith(ok, "\"x\": \"a\tb\", "), "control character"},
      {"overlong UTF-8", FeedWith(ok, "\"x\": \"\xC0\xAF\", "), "invalid UTF-8"},
      {"encoded surrogate", FeedWith(ok, "\"x\": \"\xED\xA0\x80\", "), "invalid UTF-8"},
      {"truncated UTF-8", FeedWith(ok, "\"x\": \"\xE2\x82\", "), "invalid UTF-8"},
      {"unterminated string", R"({"format": 1, "product": "demo)", "unterminated string"},
      {"leading zero", FeedWith(ok, R"("x": 01, )"), "expected ',' or '}'"},
      {"too deep", FeedWith(ok, R"("x": )" + std::string(40, '[') + std::string(40, ']') + ", "), "nested deeper"},
      {"missing format", R"({"product": "demo", "published": 0, "releases": []})", "format: missing"},
      {"format 2", R"({"format": 2, "product": "demo", "published": 0, "releases": []})", "unsupported format 2"},
      {"format as text", R"({"format": "1", "product": "demo", "published": 0, "releases": []})",
       "format: not a number"},
      {"published fraction", R"({"format": 1, "product": "demo", "published": 1.0, "releases": []})",
       "published: not a whole"},
      {"published exponent", R"({"format": 1, "product": "demo", "published": 1e9, "releases": []})",
       "published: not a whole"},
      {"published negative", R"({"format": 1, "product": "demo", "published": -1, "releases": []})",
       "published: not a whole"},
      {"published beyond 64 bits",
       R"({"format": 1, "product": "demo", "published": 9223372036854775808, "releases": []})",
       "published: not a whole"},
      {"product empty", R"({"format": 1, "product": "", "published": 0, "releases": []})", "product: invalid value"},
      {"product with a tab", R"({"format": 1, "product": "a\tb", "published": 0, "releases": []})",
       "product: invalid value"},
      {"releases not an array", R"({"format": 1, "product": "demo", "published": 0, "releases": {}})",
       "releases: not an array"},
      {"release not an object", R"({"format": 1, "product": "demo", "published": 0, "releases": [1]})",
       "releases[0].: not an object"},
      {"invalid version", R"({"format": 1, "product": "demo", "published": 0, "releases": [{"version": "1.2.x"}]})",
       "releases[0].version: invalid value"},
      {"channel missing", FeedWith(R"("full": )" + Package()), "releases[0].channel: missing"},
      {"channel upper case", FeedWith(R"("channel": "Stable", "full": )" + Package()), "channel: invalid value"},
      {"channel too long", FeedWith(R"("channel": ")" + std::string(33, 'a') + R"(", "full": )" + Package()),
       "channel: invalid value"},
      {"rollout 101", FeedWith(ok + R"(, "rollout": 101)"), "rollout: not a whole number from 0 to 100"},
      {"rollout 50.5", FeedWith(ok + R"(, "rollout": 50.5)"), "rollout: not a whole"},
      {"notes not a URL", FeedWith(ok + R"(, "notes": "file:///c:/x")"), "notes: invalid value"},
      {"full missing", FeedWith(R"("channel": "stable")"), "releases[0].full: missing"},
      {"sha256 upper case",
       FeedWith(R"("channel": "stable", "full": {"url": "a.zip", "size": 1, "sha256": ")" + std::string(64, 'A') +
                "\"}"),
       "full.sha256: invalid value"},
      {"sha256 short", FeedWith(R"("channel": "stable", "full": {"url": "a.zip", "size": 1, "sha256": "ab"})"),
       "full.sha256: invalid value"},
      {"size zero", FeedWith(R"("channel": "stable", "full": {"url": "a.zip", "size": 0, "sha256": ")" + kSha + "\"}"),
       "full.size: a package is never empty"},
      {"size beyond 64 bits",
       FeedWith(R"("channel": "stable", "full": {"url": "a.zip", "size": 18446744073709551616, "sha256": ")" + kSha +
                "\"}"),
       "full.size: not a whole"},
      {"plain http package",
       FeedWith(R"("channel": "stable", "full": {"url": "http://x/a.zip", "size": 1, "sha256": ")" + kSha + "\"}"),
       "full.url: invalid value"},
      {"scheme-relative package",
       FeedWith(R"("channel": "stable", "full": {"url": "//x/a.zip", "size": 1, "sha256": ")" + kSha + "\"}"),
       "full.url: invalid value"},
      {"package with a blank",
       FeedWith(R"("channel": "stable", "full": {"url": "a b.zip", "size": 1, "sha256": ")" + kSha + "\"}"),
       "full.url: invalid value"},
      {"delta without from", FeedWith(deltaHead + R"("x": 1}])"), "deltas[0].from: missing"},
      {"delta from a newer version", FeedWith(deltaHead + R"("from": "1.2"}])"), "deltas[0].from: not older"},
      {"two deltas from one version",
       FeedWith(deltaHead + R"("from": "1.1"}, {"from": "1.1.0", "url": "e.zip", "size": 5, "sha256": ")" + kSha +
                "\"}]"),
       "deltas[1].from: two deltas"},
      {"deltas not an array", FeedWith(ok + R"(, "deltas": {})"), "deltas: not an array"},
      {"same version twice",
       R"({"format": 1, "product": "demo", "published": 0, "releases": [{"version": "1.2", "channel": "stable", "full": )" +
           Package() + R"(}, {"version": "1.2.0", "channel": "stable", "full": )" + Package() + "}]}",
       "releases[1].version: the same version twice"},
      {"larger than 4 MiB", FeedWith(ok, "\"x\": \"" + std::string(kMaxFeedSize, 'a') + "\", "), "feed larger than"},
      {"string beyond its bound", FeedWith(ok, "\"x\": \"" + std::string(70000, 'a') + "\", "), "string longer than"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ReadFeed(c.json, &error)) << c.name;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
}

TEST(FeedFormat, WritesWhatItReadsInAStableOrder) {
  const auto feed = ReadFeed(Valid(), nullptr);
  ASSERT_TRUE(feed);
  const std::string written = WriteFeed(*feed);
  const auto again = ReadFeed(written, nullptr);
  ASSERT_TRUE(again);
  EXPECT_EQ(WriteFeed(*again), written);
  EXPECT_EQ(written.find("\"format\": 1"), 4u);
  EXPECT_LT(written.find("\"version\""), written.find("\"channel\""));
  EXPECT_LT(written.find("\"from\""), written.find("\"url\": \"d.zip\""));
  EXPECT_EQ(written.back(), '\n');
  Feed quoted = *feed;
  quoted.releases[0].notes = "https://x/\"\\";
  const auto read = ReadFeed(WriteFeed(quoted), nullptr);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->releases[0].notes, quoted.releases[0].notes);
}

TEST(FeedVersion, OrdersVersionsAsNumbers) {
  const struct {
    const char *a, *b;
    int order;
  } cases[] = {
      {"1.2.0", "1.10.0", -1},
      {"1.2", "1.2.0.0", 0},
      {"2", "1.99.99.99", 1},
      {"0.0.1", "0", 1},
      {"999999999", "999999998", 1},
      {"1.2.3.4", "1.2.3.5", -1},
      // Invalid versions sort below every valid one and equal each other.
      {"", "0", -1},
      {"1.2.3.4.5", "0", -1},
      {"01.2", "0", -1},
      {"1..2", "0", -1},
      {"1.2.", "0", -1},
      {"1000000000", "0", -1},
      {"v1", "x", 0},
      {"-1", "0", -1},
      {"1.2 ", "1.2", -1},
  };
  for (const auto& c : cases) {
    const int order = CompareVersions(c.a, c.b);
    EXPECT_EQ((order > 0) - (order < 0), c.order) << c.a << " vs " << c.b;
    const int reverse = CompareVersions(c.b, c.a);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.order) << c.b << " vs " << c.a;
  }
}

TEST(Rollout, TakesTheBucketsBelowThePercentage) {
  const struct {
    std::uint32_t bucket;
    int percent;
    bool in;
  } cases[] = {
      {0, 0, false},     {9999, 0, false}, {0, 100, true},     {9999, 100, true},        {4999, 50, true},
      {5000, 50, false}, {0, 1, true},     {99, 1, true},      {100, 1, false},          {9899, 99, true},
      {9900, 99, false}, {10000, 1, true}, {15000, 50, false}, {4294967295u, 100, true}, {5, -3, false},
  };
  for (const auto& c : cases) EXPECT_EQ(InRollout(c.bucket, c.percent), c.in) << c.bucket << " at " << c.percent;
}

TEST(Rollout, PicksTheNewestReleaseOfTheChannelThatTakesTheBucket) {
  Feed feed;
  const auto add = [&feed](const char* version, const char* channel, int rollout) {
    FeedRelease release;
    release.version = version;
    release.channel = channel;
    release.rollout = rollout;
    feed.releases.push_back(release);
  };
  add("1.1.0", "stable", 100);
  add("1.3.0", "stable", 10);  // bucket 1000 and above wait
  add("1.2.0", "stable", 100);
  add("1.4.0", "beta", 100);
  const struct {
    const char* channel;
    const char* installed;
    std::uint32_t bucket;
    const char* pick;  // nullptr: nothing
  } cases[] = {
      {"stable", "1.0", 999, "1.3.0"}, {"stable", "1.0", 1000, "1.2.0"}, {"stable", "1.2.0", 1000, nullptr},
      {"stable", "1.3", 5, nullptr},   {"beta", "1.0", 9999, "1.4.0"},   {"beta", "1.4.0", 0, nullptr},
      {"nightly", "1.0", 0, nullptr},  {"stable", "", 5000, "1.2.0"},    {"stable", "garbage", 0, "1.3.0"},
  };
  for (const auto& c : cases) {
    const FeedRelease* pick = PickRelease(feed, c.channel, c.installed, c.bucket);
    if (!c.pick) {
      EXPECT_EQ(pick, nullptr) << c.channel << " " << c.installed << " " << c.bucket;
    } else {
      ASSERT_NE(pick, nullptr) << c.channel << " " << c.installed << " " << c.bucket;
      EXPECT_EQ(pick->version, c.pick) << c.channel << " " << c.installed << " " << c.bucket;
    }
  }
}

}  // namespace
