// portico-pack sign and feed with the real minisign and a throwaway key: what they write must be what
// the launcher's parser and the feed reader take, and a failure must leave earlier files as they were.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "FeedCommand.h"
#include "FeedFormat.h"
#include "MinisignFormat.h"
#include "SignCommand.h"

namespace fs = std::filesystem;

namespace {

// SHA-256 of "hello".
constexpr char kHelloSha[] = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class SignFeed : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("portico-sign-feed-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const char* name : {"key", "other"}) {
      const std::string make = "minisign -G -W -p '" + Path(std::string(name) + ".pub") + "' -s '" +
                               Path(std::string(name) + ".key") + "' >/dev/null 2>&1";
      ASSERT_EQ(std::system(make.c_str()), 0) << "minisign -G failed";
    }
    Write(dir_ / "demo-1.2.0.zip", "hello");
    Write(dir_ / "demo-1.1.0-to-1.2.0.zip", "delta");
    ::unsetenv("SOURCE_DATE_EPOCH");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  int Run(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&),
          std::vector<std::string> args) {
    std::ostringstream out;
    err_.str("");
    return command(args, out, err_);
  }

  MinisignSignature Signature(const std::string& name) {
    const auto signature = ParseMinisignSignature(Read(dir_ / name));
    EXPECT_TRUE(signature) << name;
    return signature.value_or(MinisignSignature{});
  }

  std::vector<std::string> FeedArgs(const std::string& version, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {
        Path("feed.json"),      "--product",   "demo",      "--version", version, "--channel", "stable", "--full",
        Path("demo-1.2.0.zip"), "--timestamp", "1765300000"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  fs::path dir_;
  std::ostringstream err_;
};

TEST_F(SignFeed, SignWritesTheCommentTheLauncherReads) {
  ASSERT_EQ(Run(RunSign, {Path("demo-1.2.0.zip"), "--secret-key", Path("key.key"), "--product", "demo", "--version",
                          "1.2.0", "--timestamp", "1765300000", "--public-key", Path("key.pub")}),
            0)
      << err_.str();
  const MinisignSignature signature = Signature("demo-1.2.0.zip.minisig");
  EXPECT_EQ(signature.trustedComment, "timestamp:1765300000\tproduct:demo\tversion:1.2.0");
  EXPECT_FALSE(fs::exists(Path("demo-1.2.0.zip.minisig.part")));

  // The public key may also be given as its base64 line, as the launcher's configuration holds it.
  const std::string pub = Read(dir_ / "key.pub");
  const std::string line = pub.substr(pub.find('\n') + 1, 56);
  ::setenv("SOURCE_DATE_EPOCH", "1700000001", 1);
  ASSERT_EQ(Run(RunSign,
                {Path("demo-1.2.0.zip"), "--secret-key", Path("key.key"), "--product", "demo", "--public-key", line}),
            0)
      << err_.str();
  EXPECT_EQ(Signature("demo-1.2.0.zip.minisig").trustedComment, "timestamp:1700000001\tproduct:demo");
}

TEST_F(SignFeed, SignRefusesAndKeepsTheEarlierSignature) {
  ASSERT_EQ(Run(RunSign, {Path("demo-1.2.0.zip"), "--secret-key", Path("key.key"), "--product", "demo"}), 0);
  const std::string earlier = Read(dir_ / "demo-1.2.0.zip.minisig");
  const std::vector<std::string> base = {Path("demo-1.2.0.zip"), "--secret-key", Path("key.key")};
  const struct {
    const char* name;
    std::vector<std::string> more;
    int exitCode;
    const char* error;
  } cases[] = {
      {"no product", {}, 3, "are needed"},
      {"product with a blank", {"--product", "de mo"}, 3, "is no Protocol"},
      {"bad version", {"--product", "demo", "--version", "1.x"}, 3, "dotted numbers"},
      {"bad timestamp", {"--product", "demo", "--timestamp", "-5"}, 3, "is not Unix seconds"},
      {"unknown option", {"--product", "demo", "--force"}, 3, "unexpected '--force'"},
      {"another key's public key", {"--product", "demo", "--public-key", Path("other.pub")}, 2, "not the public key's"},
      {"no minisign", {"--product", "demo", "--minisign", Path("no-such-program")}, 2, "cannot run"},
      {"a broken secret key",
       {"--product", "demo", "--secret-key", Path("demo-1.1.0-to-1.2.0.zip")},
       2,
       "minisign failed"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = base;
    args.insert(args.end(), c.more.begin(), c.more.end());
    EXPECT_EQ(Run(RunSign, args), c.exitCode) << c.name;
    EXPECT_NE(err_.str().find(c.error), std::string::npos) << c.name << ": " << err_.str();
    EXPECT_EQ(Read(dir_ / "demo-1.2.0.zip.minisig"), earlier) << c.name;
    EXPECT_FALSE(fs::exists(Path("demo-1.2.0.zip.minisig.part"))) << c.name;
  }
  ::setenv("SOURCE_DATE_EPOCH", "soon", 1);
  EXPECT_EQ(Run(RunSign, {Path("demo-1.2.0.zip"), "--secret-key", Path("key.key"), "--product", "demo"}), 3);
  EXPECT_EQ(
      Run(RunSign, {Path("missing.zip"), "--secret-key", Path("key.key"), "--product", "demo", "--timestamp", "1"}), 2);
}

TEST_F(SignFeed, FeedListsAndSignsEachRelease) {
  ASSERT_EQ(Run(RunFeed, FeedArgs("1.2.0", {"--delta", "1.1.0=" + Path("demo-1.1.0-to-1.2.0.zip"), "--notes",
                                            "https://example.com/1.2.0", "--secret-key", Path("key.key"),
                                            "--public-key", Path("key.pub")})),
            0)
      << err_.str();
  auto feed = ReadFeed(Read(dir_ / "feed.json"), nullptr);
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed->published, 1765300000);
  ASSERT_EQ(feed->releases.size(), 1u);
  EXPECT_EQ(feed->releases[0].full.url, "demo-1.2.0.zip");
  EXPECT_EQ(feed->releases[0].full.size, 5u);
  EXPECT_EQ(feed->releases[0].full.sha256, kHelloSha);
  ASSERT_EQ(feed->releases[0].deltas.size(), 1u);
  EXPECT_EQ(feed->releases[0].deltas[0].from, "1.1.0");
  EXPECT_EQ(feed->releases[0].deltas[0].url, "demo-1.1.0-to-1.2.0.zip");
  EXPECT_EQ(Signature("feed.json.minisig").trustedComment, "timestamp:1765300000\tproduct:demo");

  // A later release goes first; the same version again replaces its entry; "published" always moves on.
  Write(dir_ / "demo-1.2.0.zip", "hello!");
  ASSERT_EQ(Run(RunFeed, FeedArgs("1.3", {"--rollout", "10", "--secret-key", Path("key.key")})), 0) << err_.str();
  ASSERT_EQ(Run(RunFeed, FeedArgs("1.2.0.0", {"--secret-key", Path("key.key")})), 0) << err_.str();
  feed = ReadFeed(Read(dir_ / "feed.json"), nullptr);
  ASSERT_TRUE(feed);
  ASSERT_EQ(feed->releases.size(), 2u);
  EXPECT_EQ(feed->releases[0].version, "1.3");
  EXPECT_EQ(feed->releases[0].rollout, 10);
  EXPECT_EQ(feed->releases[1].version, "1.2.0.0");
  EXPECT_EQ(feed->releases[1].full.size, 6u);
  EXPECT_TRUE(feed->releases[1].deltas.empty());
  EXPECT_EQ(feed->published, 1765300002);
  EXPECT_EQ(Signature("feed.json.minisig").trustedComment, "timestamp:1765300002\tproduct:demo");

  // Unsigned, the signature of the feed before is stale; a package in another folder would not be
  // found beside the feed: each said so, exit code 1.
  EXPECT_EQ(Run(RunFeed, FeedArgs("1.4", {"--timestamp", "1800000000"})), 1);
  EXPECT_NE(err_.str().find("is the signature of the feed before"), std::string::npos) << err_.str();
  fs::create_directories(dir_ / "elsewhere");
  Write(dir_ / "elsewhere" / "demo-1.5.zip", "x");
  EXPECT_EQ(Run(RunFeed, FeedArgs("1.5", {"--full", Path("elsewhere/demo-1.5.zip"), "--secret-key", Path("key.key")})),
            1);
  EXPECT_NE(err_.str().find("is not in the feed's folder"), std::string::npos) << err_.str();
}

TEST_F(SignFeed, FeedRefusesAndLeavesTheFeedAsItWas) {
  ASSERT_EQ(Run(RunFeed, FeedArgs("1.2.0", {"--secret-key", Path("key.key")})), 0) << err_.str();
  const std::string feed = Read(dir_ / "feed.json"), signature = Read(dir_ / "feed.json.minisig");
  Write(dir_ / "demo 1.3.zip", "x");
  const struct {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* error;
  } cases[] = {
      {"rollout 101", FeedArgs("1.3", {"--rollout", "101"}), 3, "--rollout '101'"},
      {"bad channel", FeedArgs("1.3", {"--channel", "Beta"}), 3, "--channel 'Beta'"},
      {"delta from a newer version", FeedArgs("1.3", {"--delta", "1.4=" + Path("demo-1.2.0.zip")}), 3,
       "no version older"},
      {"delta without a version", FeedArgs("1.3", {"--delta", Path("demo-1.2.0.zip")}), 3, "FROM=PKG.zip"},
      {"another product",
       {Path("feed.json"), "--product", "other", "--version", "1.3", "--channel", "stable", "--full",
        Path("demo-1.2.0.zip")},
       2,
       "is the feed of product 'demo'"},
      {"a blank in the package's name", FeedArgs("1.3", {"--full", Path("demo 1.3.zip")}), 2, "cannot stand in a URL"},
      {"a missing package", FeedArgs("1.3", {"--full", Path("nothing.zip")}), 2, "cannot read the package"},
      {"notes that are no URL", FeedArgs("1.3", {"--notes", "file:///c:/x"}), 2, "notes: invalid value"},
      {"another key's public key",
       FeedArgs("1.3", {"--secret-key", Path("key.key"), "--public-key", Path("other.pub")}), 2,
       "not the public key's"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(RunFeed, c.args), c.exitCode) << c.name;
    EXPECT_NE(err_.str().find(c.error), std::string::npos) << c.name << ": " << err_.str();
    EXPECT_EQ(Read(dir_ / "feed.json"), feed) << c.name;
    EXPECT_EQ(Read(dir_ / "feed.json.minisig"), signature) << c.name;
    EXPECT_FALSE(fs::exists(Path("feed.json.part"))) << c.name;
  }
  Write(dir_ / "feed.json", "{\"format\": 1,}");
  EXPECT_EQ(Run(RunFeed, FeedArgs("1.3")), 2);
  EXPECT_NE(err_.str().find("is no valid feed"), std::string::npos) << err_.str();
  EXPECT_EQ(Read(dir_ / "feed.json"), "{\"format\": 1,}");
}

}  // namespace
