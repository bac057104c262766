// Signed updates end to end on the start road: keys and signatures come from the real minisign
// tool, and every refused update leaves the installation as it was while the target still starts.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "DialogHelper.h"
#include "Host.h"
#include "Installation.h"
#include "UpdateTree.h"
#include "WinHandles.h"
#include "ZipBuilder.h"

namespace {

namespace fs = std::filesystem;

const std::wstring kStamp = L"~pt-update.stamp";

fs::path KeyFile(const std::string& name) { return rig::BinaryFolder() / L"testkeys" / rig::FromUtf8(name); }

// The base64 line of a minisign.pub file: its second line.
std::string PublicKey(const std::string& name) {
  const std::string text = rig::ReadFile(KeyFile(name + ".pub"));
  const size_t start = text.find('\n') + 1;
  return text.substr(start, text.find('\n', start) - start);
}

struct Signing {
  std::string key = "vendor";
  bool legacy = false;
  std::string trustedComment;  // minisign's own (with the time of signing) when empty
};

void Sign(const fs::path& archive, const Signing& signing) {
  std::vector<std::string> arguments = {"-S", "-s", rig::HostPath(KeyFile(signing.key + ".key")), "-m",
                                        rig::HostPath(archive)};
  if (signing.legacy) arguments.push_back("-l");
  if (!signing.trustedComment.empty()) arguments.insert(arguments.end(), {"-t", signing.trustedComment});
  ASSERT_EQ(rig::RunHostProgram("/usr/bin/minisign", arguments), 0);
}

std::string UpdateArchive() {
  ziptest::Entry entry;
  entry.name = "data/notes.txt";
  entry.data = "version 2";
  entry.deflate = true;
  return ziptest::Build({entry});
}

// Another byte, or in base64 text another base64 digit.
void ChangeByte(const fs::path& file, size_t offset) {
  std::string bytes = rig::ReadFile(file);
  bytes.at(offset) = bytes.at(offset) == 'A' ? 'B' : 'A';
  rig::WriteFile(file, bytes);
}

// A digit of the signature itself, and a character of the trusted comment, in a signature file.
size_t SignatureByte(const std::string& text) { return text.find('\n') + 1 + 40; }
size_t TrustedCommentByte(const std::string& text) { return text.find("\ntrusted comment: ") + 20; }

struct Case {
  std::string name;
  Signing signing;
  std::function<void(const fs::path& temp)> spoil;  // what happens to the download after signing
  std::string configuredKey = PublicKey("vendor");
  std::wstring launcher = L"Portico.exe";
  std::string stamp;    // the installation's stamp before the start, if any
  std::string refusal;  // the record's reason; empty when the update must be installed
  // temp\~pt-update.outcome afterwards, with {time} for the signature's timestamp and {sha} for the
  // archive's SHA-256; empty when there must be none.
  std::string outcome = "installed\t{time}\t\n";

  explicit Case(std::string caseName) : name(std::move(caseName)) {}
  bool keyless() const { return configuredKey.empty() && launcher == L"Portico.exe"; }
  Case& SignedBy(const std::string& key) { return signing.key = key, *this; }
  Case& Legacy() { return signing.legacy = true, *this; }
  Case& Comment(const std::string& comment) { return signing.trustedComment = comment, *this; }
  Case& Then(std::function<void(const fs::path&)> step) { return spoil = std::move(step), *this; }
  Case& Key(const std::string& key) { return configuredKey = key, *this; }
  Case& Launcher(const std::wstring& file) { return launcher = file, *this; }
  Case& Stamp(const std::string& seconds) { return stamp = seconds + "\n", *this; }
  Case& Refused(const std::string& reason) { return refusal = reason, *this; }
  Case& Outcome(const std::string& line) { return outcome = line, *this; }
};

// What the client's updater finds in temp: the line with the signature's time and the archive's hash.
std::string ExpectedOutcome(std::string line, const fs::path& temp) {
  const size_t time = line.find("{time}");
  if (time != std::string::npos) {
    const std::string signature = rig::ReadFile(temp / L"update.zip.minisig");
    const size_t start = signature.find("timestamp:") + 10;
    line.replace(time, 6, signature.substr(start, signature.find_first_not_of("0123456789", start) - start));
  }
  const size_t sha = line.find("{sha}");
  if (sha != std::string::npos) {
    const fs::path digest = temp.parent_path() / L"archive.sha256";
    const std::string command = "sha256sum < '" + rig::HostPath(temp / L"update.zip") +
                                "' | cut -c1-64 | tr -d '\\n' > '" + rig::HostPath(digest) + "'";
    EXPECT_EQ(rig::RunHostProgram("/bin/sh", {"-c", command}), 0);
    line.replace(sha, 5, rig::ReadFile(digest));
    fs::remove(digest);
  }
  return line;
}

class SignedUpdate : public testing::TestWithParam<Case> {};

TEST_P(SignedUpdate, IsInstalledOnlyWhenItsSignatureAndAgeHold) {
  const Case& c = GetParam();
  rig::Installation install(L"install", c.launcher);
  install.WriteConfig(c.configuredKey.empty() ? "" : "<UpdatePublicKey>" + c.configuredKey + "</UpdatePublicKey>");
  install.WriteClientSettings("window=none\n");
  rig::WriteFile(install.folder() / L"data" / L"notes.txt", "version 1");
  if (!c.stamp.empty()) rig::WriteFile(install.folder() / kStamp, c.stamp);
  const std::set<std::wstring> clientFiles = {install.RecordFile().filename().wstring(), L"temp"};
  const updatetest::Tree before = updatetest::Snapshot(install.folder(), clientFiles);

  const fs::path temp = install.folder() / L"temp";
  rig::WriteFile(temp / L"update.zip", UpdateArchive());
  Signing signing = c.signing;
  // The installation's own product: its Protocol, a name unique to the test.
  for (size_t at; (at = signing.trustedComment.find("{product}")) != std::string::npos;) {
    signing.trustedComment.replace(at, 9, rig::ToUtf8(install.scheme()));
  }
  Sign(temp / L"update.zip", signing);
  if (c.spoil) c.spoil(temp);
  const std::string outcome = c.outcome.empty() ? "" : ExpectedOutcome(c.outcome, temp);

  const rig::DebuggeeResult result = install.RunLauncher(L"");
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_TRUE(install.WaitForStarts(1)) << "the target must start whatever became of the update";
  if (outcome.empty()) {
    EXPECT_TRUE(fs::is_empty(temp));
  } else {
    EXPECT_EQ(rig::ReadFile(temp / L"~pt-update.outcome"), outcome);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
  }
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip"));
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip.minisig"));
  if (c.refusal.empty()) {
    EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
    EXPECT_EQ(fs::exists(install.folder() / kStamp), !c.keyless());
    EXPECT_EQ(result.standardError.find("update refused"), std::string::npos) << result.standardError;
  } else {
    EXPECT_EQ(updatetest::Differences(before, updatetest::Snapshot(install.folder(), clientFiles)),
              std::vector<std::string>());
    EXPECT_NE(result.standardError.find("] update refused: " + c.refusal), std::string::npos) << result.standardError;
  }
}

void RemoveSignature(const fs::path& temp) { fs::remove(temp / L"update.zip.minisig"); }
void FlipArchiveByte(const fs::path& temp) { ChangeByte(temp / L"update.zip", 40); }
void FlipSignatureByte(const fs::path& temp) {
  ChangeByte(temp / L"update.zip.minisig", SignatureByte(rig::ReadFile(temp / L"update.zip.minisig")));
}
void FlipTrustedCommentByte(const fs::path& temp) {
  ChangeByte(temp / L"update.zip.minisig", TrustedCommentByte(rig::ReadFile(temp / L"update.zip.minisig")));
}
void TruncateSignature(const fs::path& temp) {
  const std::string text = rig::ReadFile(temp / L"update.zip.minisig");
  rig::WriteFile(temp / L"update.zip.minisig", text.substr(0, text.size() / 2));
}
void EmptySignature(const fs::path& temp) { rig::WriteFile(temp / L"update.zip.minisig", ""); }
void GarbageSignature(const fs::path& temp) {
  std::string garbage(1 << 20, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
  rig::WriteFile(temp / L"update.zip.minisig", garbage);
}

const char kNoMatch[] = "the signature does not match update.zip";
const char kMalformed[] = "update.zip.minisig is not a minisign signature";
const char kBadSignature[] = "refused\t0\tsignature\t{sha}\n";
const char kMalformedSignature[] = "refused\t0\tmalformed\t{sha}\n";
const char kOtherProduct[] = "refused\t1800000000\tproduct\t{sha}\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, SignedUpdate,
    testing::Values(  // each row: the case, what became of the download, the refusal and the outcome
        Case("Prehashed"), Case("Legacy").Legacy(),
        Case("NoSignature")
            .Then(RemoveSignature)
            .Refused("no signature (update.zip.minisig)")
            .Outcome("refused\t0\tunsigned\t{sha}\n"),
        Case("AnotherKey").SignedBy("other").Refused("signed by another key (").Outcome(kBadSignature),
        Case("ArchiveByteChanged").Then(FlipArchiveByte).Refused(kNoMatch).Outcome(kBadSignature),
        Case("SignatureByteChanged").Then(FlipSignatureByte).Refused(kNoMatch).Outcome(kBadSignature),
        Case("TrustedCommentByteChanged")
            .Then(FlipTrustedCommentByte)
            .Refused("the trusted comment does not match its signature")
            .Outcome(kBadSignature),
        Case("TruncatedSignature").Then(TruncateSignature).Refused(kMalformed).Outcome(kMalformedSignature),
        Case("EmptySignature").Then(EmptySignature).Refused(kMalformed).Outcome(kMalformedSignature),
        Case("MebibyteOfGarbage").Then(GarbageSignature).Refused(kMalformed).Outcome(kMalformedSignature),
        Case("MalformedConfiguredKey")
            .Key(PublicKey("vendor").substr(1))
            .Refused("the update key is not a minisign public key")
            .Outcome(kBadSignature),
        Case("CompiledKeyOverridesConfigured")
            .Launcher(L"PorticoKeyed.exe")
            .Refused("signed by another key (")
            .Outcome(kBadSignature),
        Case("CompiledKeyWithoutConfiguration").Launcher(L"PorticoKeyed.exe").Key("").SignedBy("compiled"),
        Case("OlderThanInstalled")
            .Comment("timestamp:1700000000")
            .Stamp("1800000000")
            .Refused("older than the installed update (timestamp 1700000000 < 1800000000)")
            .Outcome("refused\t1700000000\tolder\t{sha}\n"),
        Case("EqualToInstalled").Comment("timestamp:1800000000").Stamp("1800000000"),
        Case("NoTimestamp")
            .Comment("release 2.0")
            .Refused("the trusted comment has no timestamp")
            .Outcome(kMalformedSignature),
        // Without a stamp the launcher's floor still holds, and a stamp above it wins.
        Case("OlderThanTheFloorWithoutAStamp")
            .Comment("timestamp:1500000000")
            .Refused("older than the launcher's floor (timestamp 1500000000 < 1600000000)")
            .Outcome("refused\t1500000000\tfloor\t{sha}\n"),
        Case("OlderThanACompiledFloor")
            .Launcher(L"PorticoKeyed.exe")
            .Key("")
            .SignedBy("compiled")
            .Comment("timestamp:1750000000")
            .Refused("older than the launcher's floor (timestamp 1750000000 < 1760000000)")
            .Outcome("refused\t1750000000\tfloor\t{sha}\n"),
        Case("StampBelowTheFloor")
            .Launcher(L"PorticoKeyed.exe")
            .Key("")
            .SignedBy("compiled")
            .Comment("timestamp:1750000000")
            .Stamp("1700000000")
            .Refused("older than the launcher's floor (timestamp 1750000000 < 1760000000)")
            .Outcome("refused\t1750000000\tfloor\t{sha}\n"),
        Case("StampAboveTheFloor")
            .Launcher(L"PorticoKeyed.exe")
            .Key("")
            .SignedBy("compiled")
            .Comment("timestamp:1790000000")
            .Stamp("1800000000")
            .Refused("older than the installed update (timestamp 1790000000 < 1800000000)")
            .Outcome("refused\t1790000000\tolder\t{sha}\n"),
        // A trusted comment may bind the archive to one product, named as its Protocol.
        Case("ForThisProduct")
            .Comment("timestamp:1800000000\tproduct:{product}\tversion:2.0.1")
            .Outcome("installed\t1800000000\t2.0.1\n"),
        Case("ForAnotherProduct")
            .Comment("timestamp:1800000000\tproduct:other-product\tversion:2.0.1")
            .Refused("signed for another product (product:other-product)")
            .Outcome(kOtherProduct),
        Case("ForAProductNamedOnlyInPart")
            .Comment("timestamp:1800000000\tproduct:{product}-beta")
            .Refused("signed for another product (product:porticotest")
            .Outcome(kOtherProduct),
        Case("ForThisAndAnotherProduct")
            .Comment("timestamp:1800000000\tproduct:{product}\tproduct:other")
            .Refused("signed for another product (product:other)")
            .Outcome(kOtherProduct),
        Case("ForNoNamedProduct")
            .Comment("timestamp:1800000000\tproduct:")
            .Refused("signed for another product (product:)")
            .Outcome(kOtherProduct),
        // Without a key nothing judges the archive, and temp keeps no outcome.
        Case("WithoutAKey").Key("").Then(RemoveSignature).Outcome("")),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// An installation that trusts the vendor's key, with a signed update waiting in temp.
fs::path PrepareSignedUpdate(rig::Installation& install, const std::string& extraXml = "") {
  install.WriteConfig("<UpdatePublicKey>" + PublicKey("vendor") + "</UpdatePublicKey>" + extraXml);
  install.WriteClientSettings("window=none\n");
  const fs::path temp = install.folder() / L"temp";
  rig::WriteFile(temp / L"update.zip", UpdateArchive());
  Sign(temp / L"update.zip", Signing{"vendor", false, ""});
  return temp;
}

TEST(SignedUpdateStamp, FollowsTheLastUpdateAndRefusesAnOlderOne) {
  rig::Installation install;
  install.WriteConfig("<UpdatePublicKey>" + PublicKey("vendor") + "</UpdatePublicKey><LogFile>portico.log</LogFile>");
  install.WriteClientSettings("window=none\n");
  const fs::path temp = install.folder() / L"temp";
  for (const char* time : {"1800000000", "1700000000"}) {
    rig::WriteFile(temp / L"update.zip", UpdateArchive());
    Sign(temp / L"update.zip", Signing{"vendor", false, std::string("timestamp:") + time});
    install.RunLauncher(L"");
  }
  EXPECT_EQ(rig::ReadFile(install.folder() / kStamp), "1800000000\n");
  // temp keeps only the last pass's outcome, for the client's updater.
  EXPECT_EQ(rig::ReadFile(temp / L"~pt-update.outcome").rfind("refused\t1700000000\tolder\t", 0), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
  // The verdicts are in the log file too.
  const std::string log = rig::ReadFile(install.folder() / L"portico.log");
  EXPECT_NE(log.find("] signature: verified, key "), std::string::npos) << log;
  EXPECT_NE(log.find(", timestamp 1800000000 (installed 0)\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] update refused: older than the installed update (timestamp 1700000000 < 1800000000)\n"),
            std::string::npos)
      << log;

  // Anyone who may read the installation can hold the stamp unreadable: that decides nothing, and
  // the older update waits, whole, for a start that can read it.
  rig::WriteFile(temp / L"update.zip", UpdateArchive());
  Sign(temp / L"update.zip", Signing{"vendor", false, "timestamp:1750000000"});
  {
    portico::FileHandle holder(CreateFileW((install.folder() / kStamp).c_str(), GENERIC_READ, FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    install.RunLauncher(L"");
    EXPECT_TRUE(fs::exists(install.folder() / L"update.zip"));
    EXPECT_TRUE(fs::exists(install.folder() / L"update.zip.minisig"));
  }
  EXPECT_NE(install.RunLauncher(L"").standardError.find("update refused: older than the installed update"),
            std::string::npos);
  EXPECT_EQ(rig::ReadFile(install.folder() / kStamp), "1800000000\n");
}

// Whoever may write temp may leave a link at the outcome's name: the launcher, with its rights,
// replaces the link and never writes, or deletes, where it leads.
TEST(SignedUpdateOutcome, IsNeverWrittenThroughALink) {
  rig::Installation install;
  const fs::path temp = PrepareSignedUpdate(install);
  const fs::path outside = install.folder().parent_path() / (rig::UniqueName(L"outside-") + L".txt");
  rig::WriteFile(outside, "not the launcher's");
  rig::HostSymlink record(temp / L"~pt-update.outcome", rig::HostPath(outside));
  install.RunLauncher(L"");
  EXPECT_EQ(rig::ReadFile(outside), "not the launcher's");
  EXPECT_EQ(rig::ReadFile(temp / L"~pt-update.outcome").rfind("installed\t", 0), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
}

// Unread, the configuration names no key. An installation that has taken a signed update installs
// no unchecked one then: the download stays where it is for a start that knows the key.
TEST(SignedUpdateStaging, AnUnreadableConfigurationKeepsTheDownloadOfASignedInstallation) {
  rig::Installation install;
  const fs::path temp = PrepareSignedUpdate(install);
  install.RunLauncher(L"");
  ASSERT_TRUE(fs::exists(install.folder() / kStamp));
  ziptest::Entry evil;
  evil.name = "data/notes.txt";
  evil.data = "version 666";
  rig::WriteFile(temp / L"update.zip", ziptest::Build({evil}));
  const fs::path config = install.folder() / L"ProductConfig.xml";
  const std::string configured = rig::ReadFile(config);
  rig::WriteFile(config, "<Product>");

  rig::Debuggee launcher(install.launcher(), L"");
  const auto box = rig::WaitForMessageBox(launcher.pid());
  ASSERT_TRUE(box.has_value());
  rig::PressButton(*box, IDOK);
  EXPECT_NE(launcher.Wait().standardError.find("] update waits: the configuration that names the update key could not "
                                               "be read\n"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(temp / L"update.zip"));
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
  rig::WriteFile(config, configured);
  EXPECT_NE(install.RunLauncher(L"").standardError.find("] update refused: no signature"), std::string::npos);
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
}

// Whoever holds the configuration open without sharing must not decide what installs: without a
// stamp and a configured key, and with a compiled-in key, the download waits for a start that reads it.
TEST(SignedUpdateStaging, NothingIsInstalledWhileTheConfigurationCannotBeRead) {
  for (const bool compiledKey : {false, true}) {
    rig::Installation install(L"install", compiledKey ? L"PorticoKeyed.exe" : L"Portico.exe");
    install.WriteConfig();
    install.WriteClientSettings("window=none\n");
    rig::WriteFile(install.folder() / L"data" / L"notes.txt", "version 1");
    const fs::path temp = install.folder() / L"temp";
    rig::WriteFile(temp / L"update.zip", UpdateArchive());
    if (compiledKey) Sign(temp / L"update.zip", Signing{"compiled", false, ""});
    {
      portico::FileHandle reader(CreateFileW((install.folder() / L"ProductConfig.xml").c_str(), GENERIC_READ, 0,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(reader);
      rig::Debuggee launcher(install.launcher(), L"");
      const auto box = rig::WaitForMessageBox(launcher.pid());
      ASSERT_TRUE(box.has_value());
      rig::PressButton(*box, IDOK);
      EXPECT_NE(launcher.Wait().standardError.find("] update waits: the configuration that names the update key "
                                                   "could not be read\n"),
                std::string::npos);
    }
    EXPECT_TRUE(fs::exists(temp / L"update.zip")) << compiledKey;
    EXPECT_EQ(fs::exists(temp / L"update.zip.minisig"), compiledKey);
    EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 1") << compiledKey;
    install.RunLauncher(L"");
    EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2") << compiledKey;
  }
}

// A start killed between the two moves left the new signature beside the archive it supersedes, and
// the downloader holds the new archive on the next start: pairing the two would refuse and delete
// the download's signature. The older archive goes, and the next start installs the new pair.
TEST(SignedUpdateStaging, ASignatureMovedUpBeforeAKillWaitsForItsArchive) {
  rig::Installation install;
  const fs::path temp = PrepareSignedUpdate(install);
  rig::WriteFile(install.folder() / L"data" / L"notes.txt", "version 1");
  fs::rename(temp / L"update.zip.minisig", install.folder() / L"update.zip.minisig");
  rig::WriteFile(install.folder() / L"update.zip", "the archive this download supersedes");
  {
    portico::FileHandle downloader(CreateFileW((temp / L"update.zip").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(downloader);
    EXPECT_EQ(install.RunLauncher(L"").standardError.find("update refused"), std::string::npos);
  }
  EXPECT_TRUE(fs::exists(install.folder() / L"update.zip.minisig"));
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 1");
  EXPECT_EQ(install.RunLauncher(L"").standardError.find("update refused"), std::string::npos);
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
}

// The new signature goes up, but the downloader still holds its archive and a scanner holds the
// archive it supersedes: extracting would pair the new signature with the old archive and refuse, and
// delete, the download's signature. The pair waits, and the next start installs it.
TEST(SignedUpdateStaging, ANewSignatureWhoseArchiveIsHeldWaitsForIt) {
  rig::Installation install;
  const fs::path temp = PrepareSignedUpdate(install);
  rig::WriteFile(install.folder() / L"data" / L"notes.txt", "version 1");
  const fs::path staged = install.folder() / L"update.zip";
  rig::WriteFile(staged, "the archive this download supersedes");
  {
    portico::FileHandle downloader(CreateFileW((temp / L"update.zip").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    portico::FileHandle scanner(
        CreateFileW(staged.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(downloader && scanner);
    EXPECT_EQ(install.RunLauncher(L"").standardError.find("update refused"), std::string::npos);
  }
  EXPECT_TRUE(fs::exists(install.folder() / L"update.zip.minisig"));
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 1");
  EXPECT_EQ(install.RunLauncher(L"").standardError.find("update refused"), std::string::npos);
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
}

TEST(SignedUpdateStaging, SignatureWithoutItsArchiveIsRemoved) {
  rig::Installation install;
  const fs::path temp = PrepareSignedUpdate(install);
  fs::remove(temp / L"update.zip");
  rig::WriteFile(install.folder() / L"update.zip.minisig", rig::ReadFile(temp / L"update.zip.minisig"));

  const rig::DebuggeeResult result = install.RunLauncher(L"");
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip.minisig"));
  EXPECT_EQ(result.standardError.find("update refused"), std::string::npos);
}

// The archive is held, with writing and deleting denied, from its check to the end of extraction:
// a swap from a Windows program fails, and one that the host forces through is never read.
TEST(SignedUpdateSwap, ArchiveReplacedAfterTheCheckIsNotInstalled) {
  rig::Installation install;
  const fs::path temp = PrepareSignedUpdate(install);
  ziptest::Entry evil;
  evil.name = "data/notes.txt";
  evil.data = "version 666";
  const fs::path evilArchive = install.folder().parent_path() / (rig::UniqueName(L"evil-") + L".zip");
  rig::WriteFile(evilArchive, ziptest::Build({evil}));

  rig::DebuggeeOptions options;
  // The room check comes after the signature check and before the first write.
  options.breakOn = {"GetDiskFreeSpaceExW"};
  bool swapTried = false;
  options.onBreak = [&](const rig::BreakpointHit&) {
    if (swapTried) return rig::HitAction::Continue;
    swapTried = true;
    const fs::path staged = install.folder() / L"update.zip";
    EXPECT_FALSE(MoveFileExW(evilArchive.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING));
    portico::FileHandle writer(CreateFileW(staged.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "the checked archive must not be open to writing";
    EXPECT_EQ(rig::RunHostProgram("/bin/mv", {"-f", rig::HostPath(evilArchive), rig::HostPath(staged)}), 0);
    return rig::HitAction::Continue;
  };
  const rig::DebuggeeResult result = install.RunLauncher(L"", options);
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_TRUE(swapTried);
  ASSERT_TRUE(install.WaitForStarts(1));
  EXPECT_EQ(rig::ReadFile(install.folder() / L"data" / L"notes.txt"), "version 2");
  EXPECT_FALSE(fs::exists(install.folder() / L"update.zip"));
}

}  // namespace
