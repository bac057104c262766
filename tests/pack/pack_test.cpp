// portico-pack natively: make on real trees (reproducible bytes, refused names, a case-only rename),
// and check against a table of archives holding each mistake it names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "PackMain.h"
#include "ZipWriter.h"

namespace {

namespace fs = std::filesystem;

struct PackRun {
  int exitCode;
  std::string out, err;
};

PackRun Pack(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = RunPack(args, out, err);
  return {code, out.str(), err.str()};
}

void Write(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Scratch : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("pack-" + std::to_string(::getpid()) + "-" +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(root_, fs::perms::all, ignored);
    fs::remove_all(root_, ignored);
  }
  std::string At(const std::string& relative) const { return (root_ / relative).string(); }
  fs::path root_;
};

// A release tree with a bit of everything an installation holds.
void Release(const fs::path& root, const std::string& version) {
  Write(root / "App.exe", "program " + version);
  Write(root / "data/notes.txt", "notes");
  Write(root / "data/deep/er/file.bin", std::string(100000, 'x') + version);
  Write(root /
            "\xC3\xBC"
            "ber.txt",
        "umlaut");
  fs::create_directories(root / "empty");
  fs::permissions(root / "data/notes.txt", fs::perms::owner_write, fs::perm_options::remove);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  }
}

using PackMake = Scratch;

TEST_F(PackMake, SameTreesGiveTheSameBytesWhereverAndWheneverTheyAreMade) {
  Release(root_ / "old", "1");
  Release(root_ / "new", "2");
  ASSERT_EQ(Pack({"make", At("new"), "--from", At("old"), "-o", At("a.zip")}).exitCode, kPackClean);
  // The same trees laid out again elsewhere, with their files made in another order and in another time zone.
  fs::create_directories(root_ / "copy");
  fs::copy(root_ / "old", root_ / "copy/old", fs::copy_options::recursive);
  fs::copy(root_ / "new", root_ / "copy/new", fs::copy_options::recursive);
  for (const char* tree : {"old", "new"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root_ / tree)) {
      fs::last_write_time(root_ / "copy" / tree / entry.path().lexically_relative(root_ / tree),
                          fs::last_write_time(entry.path()));
    }
  }
  setenv("TZ", "Asia/Tokyo", 1);
  const PackRun again = Pack({"make", At("copy/new"), "--from", At("copy/old"), "-o", At("b.zip")});
  unsetenv("TZ");
  ASSERT_EQ(again.exitCode, kPackClean) << again.err;
  EXPECT_EQ(again.out, At("b.zip") + ": 0 added, 2 replaced, 0 empty folders, 0 removed\n");
  EXPECT_EQ(Read(root_ / "a.zip"), Read(root_ / "b.zip"));
  // A whole package carries every file and the empty folder, and no removal list.
  const PackRun full = Pack({"make", At("new"), "-o", At("full.zip")});
  EXPECT_EQ(full.out, At("full.zip") + ": 4 added, 0 replaced, 1 empty folders, 0 removed\n");
}

struct BadName {
  std::string file;     // made in the tree
  std::string other;    // a second file, when the mistake needs two
  std::string message;  // in the error, after the name
};

TEST_F(PackMake, StopsAtEachNameTheLauncherWouldRefuseAndNamesTheFile) {
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(30, 'f');
  const std::vector<BadName> table = {
      {"CON.txt", "", "reserved device name"},
      {"lib/aux/x.dll", "", "reserved device name"},
      {"com1", "", "reserved device name"},
      {"file:stream", "", "':'"},
      {"what?.txt", "", "character Windows does not allow"},
      {"pipe|.txt", "", "character Windows does not allow"},
      {"trailing.", "", "ending in a dot or a blank"},
      {"trailing ", "", "ending in a dot or a blank"},
      {"back\\slash.txt", "", "backslash"},
      {"~pt~removals.txt", "", "keeps for its own files"},
      {"sub/~PT~1.tmp", "", "keeps for its own files"},
      {"~pt-update.stamp", "", "keeps for its own files"},
      {deep, "", "bytes long"},
      {"Readme.txt", "README.TXT", "differ only in letter case"},
      {"bad\xFF.txt", "", "not UTF-8"},
  };
  for (const BadName& row : table) {
    SCOPED_TRACE(row.file);
    fs::remove_all(root_ / "new");
    Write(root_ / "new/ok.txt", "fine");
    Write(root_ / "new" / row.file, "x");
    if (!row.other.empty()) Write(root_ / "new" / row.other, "y");
    const PackRun run = Pack({"make", At("new"), "-o", At("u.zip")});
    EXPECT_EQ(run.exitCode, kPackRefused);
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(row.file.substr(row.file.rfind('/') + 1)), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(root_ / "u.zip"));
  }
}

TEST_F(PackMake, ACaseOnlyRenameIsWrittenAgainAndNotRemoved) {
  Write(root_ / "old/lib/a.dll", "same");
  Write(root_ / "new/lib/A.dll", "same");
  const PackRun run = Pack({"make", At("new"), "--from", At("old"), "-o", At("u.zip")});
  ASSERT_EQ(run.exitCode, kPackClean) << run.err;
  EXPECT_EQ(run.out, At("u.zip") + ": 0 added, 1 replaced, 0 empty folders, 0 removed\n");
  const PackRun check = Pack({"check", At("u.zip"), "--installation", At("old")});
  EXPECT_EQ(check.exitCode, kPackClean) << check.out;
  EXPECT_NE(check.out.find("replaced  lib/A.dll"), std::string::npos) << check.out;
  EXPECT_EQ(check.out.find("Removals"), std::string::npos) << check.out;
}

// --- check ---

struct Archive {
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes
};

void WriteArchive(const fs::path& path, const Archive& archive) {
  ZipWriter writer(path);
  for (const auto& [name, bytes] : archive.files) {
    ZipWriteEntry entry;
    entry.name = name;
    entry.attributes = 0x20;
    entry.writeTime = 1700000000;
    if (!name.empty() && name.back() == '/') {
      entry.attributes = 0x10;
      writer.AddFolder(entry);
    } else {
      writer.AddBytes(entry, bytes);
    }
  }
  ASSERT_TRUE(writer.Finish()) << writer.error();
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

struct CheckCase {
  std::string name;
  Archive archive;
  std::function<void(const fs::path& installation, const fs::path& archive)> prepare;
  std::vector<std::string> extra;  // arguments after the archive
  int exitCode;
  std::vector<std::string> shown;  // in the text report
};

using PackCheck = Scratch;

TEST_F(PackCheck, NamesEachMistakeOfAnArchive) {
  const std::string keys = At("keys");
  fs::create_directories(keys);
  ASSERT_EQ(Shell("minisign -G -W -f -p " + keys + "/k.pub -s " + keys + "/k.key >/dev/null 2>&1"), 0);
  std::string pub = Read(keys + "/k.pub");
  pub = pub.substr(pub.find('\n') + 1);
  pub = pub.substr(0, pub.find('\n'));
  const auto sign = [keys](const std::string& comment) {
    return [keys, comment](const fs::path&, const fs::path& archive) {
      ASSERT_EQ(
          Shell("minisign -S -s " + keys + "/k.key -m " + archive.string() + " -t '" + comment + "' >/dev/null 2>&1"),
          0);
    };
  };
  const auto config = [](const std::string& xml) {
    return [xml](const fs::path& installation, const fs::path&) {
      Write(installation / "ProductConfig.xml", "<ProductConfig>" + xml + "</ProductConfig>");
    };
  };
  const Archive plain{{{"App.exe", "new"}, {"data/x.txt", "x"}}};
  const std::vector<CheckCase> table = {
      {"Clean", plain, nullptr, {}, kPackClean, {"replaced  App.exe", "added  data/x.txt", "Signature: not-checked"}},
      {"ZipOfTheFolderItself",
       {{{"release/App.exe", "a"}, {"release/data/x.txt", "x"}}},
       nullptr,
       {},
       kPackWarnings,
       {"every entry lies under 'release/', which the installation does not have"}},
      {"CarriesConfiguration",
       {{{"ProductConfig.xml", "<x/>"}}},
       nullptr,
       {},
       kPackWarnings,
       {"carries ProductConfig.xml"}},
      {"CarriesLauncher", {{{"PORTICO.exe", "MZ"}}}, nullptr, {}, kPackWarnings, {"carries 'PORTICO.exe'"}},
      {"RemovesTheProgram",
       {{{"~pt~removals.txt", "App.exe\nold.dll\n"}}},
       config("<ProgName>App.exe</ProgName>"),
       {},
       kPackWarnings,
       {"removed  App.exe", "absent  old.dll", "removes 'App.exe', the program"}},
      {"RemovesWhatItWrites",
       {{{"App.exe", "a"}, {"data/x.txt", "x"}, {"~pt~removals.txt", "data/x.txt\n"}}},
       nullptr,
       {},
       kPackClean,
       {"kept  data/x.txt  (the archive writes it)"}},
      {"TwoRemovalLists",
       {{{"~pt~removals.txt", "old.dll\n"}, {"~PT~Removals.TXT", "App.exe\n"}}},
       nullptr,
       {},
       kPackRefused,
       {"more than one ~pt~removals.txt"}},
      {"RemovalListTooLong",
       {{{"~pt~removals.txt", std::string(70000, '\n') + "x"}}},
       nullptr,
       {},
       kPackRefused,
       {"the launcher removes nothing"}},
      {"UnsafeNames",
       {{{"CON.txt", "c"}, {"a/b:c", "s"}, {"~pt~1.tmp", "t"}}},
       nullptr,
       {},
       kPackClean,
       {"skipped  CON.txt  (the name is a reserved device name", "skipped  a/b:c  (the name holds ':'",
        "skipped  ~pt~1.tmp  (the name takes a name the launcher keeps"}},
      {"NotAZip",
       {},
       [](const fs::path&, const fs::path& archive) { Write(archive, "not a zip"); },
       {},
       kPackRefused,
       {"the launcher cannot read the archive"}},
      {"UnsignedWhereAKeyIsTrusted",
       plain,
       nullptr,
       {"--key", pub},
       kPackRefused,
       {"Signature: refused", "no signature (update.zip.minisig)"}},
      {"Signed",
       plain,
       [sign, config](const fs::path& installation, const fs::path& archive) {
         sign("timestamp:1800000000\tproduct:demo")(installation, archive);
         config("<Protocol>demo</Protocol>")(installation, archive);
       },
       {"--key", pub, "--floor", "1700000000"},
       kPackClean,
       {"Signature: verified, key ", ", timestamp 1800000000, product demo, installation's stamp 0, floor 1700000000"}},
      {"OlderThanTheFloor",
       plain,
       sign("timestamp:1800000000"),
       {"--key", pub, "--floor", "1900000000"},
       kPackRefused,
       {"Signature: refused", "older than the launcher's floor"}},
      {"OlderThanTheStamp",
       plain,
       [sign](const fs::path& installation, const fs::path& archive) {
         sign("timestamp:1800000000")(installation, archive);
         Write(installation / "~pt-update.stamp", "1850000000\n");
       },
       {"--key", pub},
       kPackRefused,
       {"older than the installed update"}},
      {"ForAnotherProduct",
       plain,
       [sign, config](const fs::path& installation, const fs::path& archive) {
         sign("timestamp:1800000000\tproduct:other")(installation, archive);
         config("<Protocol>demo</Protocol>")(installation, archive);
       },
       {"--key", pub},
       kPackRefused,
       {"signed for another product (product:other)"}},
      {"KeyCompiledIntoTheLauncherWins",
       plain,
       [sign, config, pub](const fs::path& installation, const fs::path& archive) {
         sign("timestamp:1800000000")(installation, archive);
         config("<UpdatePublicKey>RWR0gl5bJ5L8vLnDbJsP8E9VX8ZiYftr01+pAaIDc5eoeMEwhbWbMAdC</UpdatePublicKey>")(
             installation, archive);
         Write(installation / "Portico.exe", std::string("MZ\0\0", 4) + pub + std::string(1, '\0') + "rest");
       },
       {},
       kPackClean,
       {"Signature: verified"}},
      {"KeyOfTheInstallation",
       plain,
       [sign, config, pub](const fs::path& installation, const fs::path& archive) {
         sign("timestamp:1800000000")(installation, archive);
         config("<UpdatePublicKey>" + pub + "</UpdatePublicKey>")(installation, archive);
       },
       {},
       kPackClean,
       {"Signature: verified"}},
  };
  for (const CheckCase& row : table) {
    SCOPED_TRACE(row.name);
    const fs::path installation = root_ / row.name / "installation";
    const fs::path archive = root_ / row.name / "update.zip";
    Write(installation / "App.exe", "old");
    if (!row.archive.files.empty()) WriteArchive(archive, row.archive);
    if (row.prepare) row.prepare(installation, archive);
    std::vector<std::string> args = {"check", archive.string(), "--installation", installation.string()};
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    const PackRun run = Pack(args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    for (const std::string& shown : row.shown)
      EXPECT_NE(run.out.find(shown), std::string::npos) << shown << "\n" << run.out;
    args.push_back("--json");
    const PackRun json = Pack(args);
    EXPECT_EQ(json.exitCode, row.exitCode);
    EXPECT_NE(json.out.find("\"exitCode\": " + std::to_string(row.exitCode) + "\n}"), std::string::npos) << json.out;
  }
}

TEST(PackCommandLine, BadArgumentsAreUsageErrors) {
  EXPECT_EQ(Pack({}).exitCode, kPackUsage);
  EXPECT_EQ(Pack({"frobnicate"}).exitCode, kPackUsage);
  EXPECT_EQ(Pack({"make", "dir"}).exitCode, kPackUsage);
  EXPECT_EQ(Pack({"check", "a.zip", "--floor", "soon"}).exitCode, kPackUsage);
  const PackRun help = Pack({"--help"});
  EXPECT_EQ(help.exitCode, kPackClean);
  EXPECT_NE(help.out.find("portico-pack make NEW_DIR [--from OLD_DIR] -o UPDATE.zip"), std::string::npos);
}

}  // namespace
