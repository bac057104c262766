// Hostile update archives through the real launcher: whatever an archive holds, nothing outside the
// installation is created, changed or deleted, no installed file is damaged, and no temporary file
// of the extraction stays behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "HostileUpdate.h"
#include "Installation.h"

namespace {

using hostile::File;
using hostile::RunUpdate;
using hostile::UpdateRun;

std::string Narrow(const std::vector<std::wstring>& list) {
  std::string text;
  for (const std::wstring& item : list) text += rig::ToUtf8(item) + "; ";
  return text;
}

// What every hostile archive must leave true.
void ExpectContained(const UpdateRun& run, const std::string& what) {
  EXPECT_EQ(run.crashCode, 0u) << what;
  EXPECT_EQ(run.exitCode, 0u) << what;
  EXPECT_TRUE(run.targetStarted) << what;
  EXPECT_TRUE(run.outsideChanges.empty()) << what << ": " << Narrow(run.outsideChanges);
  EXPECT_TRUE(run.damagedInstalledFiles.empty()) << what << ": " << Narrow(run.damagedInstalledFiles);
  EXPECT_TRUE(run.leftovers.empty()) << what << ": " << Narrow(run.leftovers);
}

// Each name alone in an archive, beside one harmless entry that must still arrive.
void ExpectEachNameContained(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    UpdateRun run = RunUpdate(ziptest::Build({File(name, "hostile"), File("data/fine.txt", "fine")}));
    ExpectContained(run, name);
    EXPECT_EQ(run.newInstalledFiles[L"data\\fine.txt"], "fine") << name;
  }
}

void SetLe32(std::string& bytes, size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(value >> (8 * k));
}

// The uncompressed size in the local header (offset 22) and the central header (offset 24).
std::string WithClaimedSize(std::string archive, uint32_t size) {
  const size_t local = archive.find("PK\x03\x04");
  const size_t central = archive.find("PK\x01\x02");
  SetLe32(archive, local + 22, size);
  SetLe32(archive, central + 24, size);
  return archive;
}

TEST(HostileArchive, TraversalInEverySpellingStaysInside) {
  ExpectEachNameContained({"../escape1.txt", "..\\escape2.txt", "..\\../escape3.txt", "../..\\../escape4.txt",
                           "data/../../escape5.txt", "data\\..\\..\\escape6.txt", ".../escape7.txt",
                           "data/.. /escape8.txt", "data/. ./escape9.txt", "....//escape10.txt",
                           "a/b/../../../../../../../../windows/escape11.txt", "..", "../", "data/..",
                           "..\\..\\..\\..\\..\\..\\users\\Public\\escape12.txt"});
}

TEST(HostileArchive, AbsoluteDriveAndDriveRelativeNamesStayInside) {
  ExpectEachNameContained({"C:\\escape20.txt", "C:/windows/escape21.txt", "C:escape22.txt", "c:..\\escape23.txt",
                           "/escape24.txt", "\\escape25.txt", "Z:\\tmp\\escape26.txt", "C:C:\\escape27.txt",
                           "C:\\..\\..\\escape28.txt"});
}

TEST(HostileArchive, UncAndDevicePathPrefixesStayInside) {
  ExpectEachNameContained({"\\\\server\\share\\escape30.txt", "//server/share/escape31.txt", "\\\\?\\C:\\escape32.txt",
                           "//?/C:/escape33.txt", "\\\\.\\C:\\escape34.txt", "\\\\?\\UNC\\localhost\\C$\\escape35.txt",
                           "\\??\\C:\\escape36.txt", "\\\\?\\GLOBALROOT\\Device\\escape37.txt"});
}

TEST(HostileArchive, AlternateDataStreamsAreRefused) {
  ExpectEachNameContained(
      {"data/keep.txt:evil", "data/keep.txt::$DATA", "data:stream.txt", "fine.txt:$DATA", "data/keep.txt:evil:$DATA"});
}

TEST(HostileArchive, DeviceNamesAreRefused) {
  // "\xC2\xB9" is the superscript one, which Windows also takes as a port number.
  ExpectEachNameContained({"COM1", "com\xC2\xB9", "COM\xC2\xB9.txt", "NUL.txt", "nul", "data/CON", "aux.log",
                           "LPT1 .txt", "prn...", "data/NUL .x/y.txt", "CON/a.txt", "lpt\xC2\xB3"});
}

TEST(HostileArchive, NamesOf259And260And1000BytesAreSafe) {
  for (size_t length : {259u, 260u, 1000u}) {
    const std::string name = "data/" + std::string(length - 9, 'n') + ".txt";
    ASSERT_EQ(name.size(), length);
    UpdateRun run = RunUpdate(ziptest::Build({File(name, "long"), File("data/fine.txt", "fine")}));
    ExpectContained(run, "name of " + std::to_string(length) + " bytes");
    EXPECT_EQ(run.newInstalledFiles[L"data\\fine.txt"], "fine");
    // None of them fits the path room below the installation: each is refused, none fails.
    EXPECT_EQ(run.newInstalledFiles.size(), 1u) << length;
    EXPECT_FALSE(run.archiveLeft) << length;
  }
}

TEST(HostileArchive, DuplicateEntriesLeaveOneWholeFile) {
  const UpdateRun run = RunUpdate(ziptest::Build({File("data/dup.txt", "first copy"), File("data/dup.txt", "second"),
                                                  File("DATA\\DUP.TXT", "third, other case")}));
  ExpectContained(run, "duplicates");
  ASSERT_EQ(run.newInstalledFiles.size(), 1u);
  const std::string content = run.newInstalledFiles.begin()->second;
  EXPECT_TRUE(content == "first copy" || content == "second" || content == "third, other case") << content;
  EXPECT_FALSE(run.archiveLeft);
}

TEST(HostileArchive, EntryClaimingAHugeSizeDoesNotReplaceTheInstalledFile) {
  for (uint32_t claimed : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u}) {
    ziptest::Entry entry = File("data/keep.txt", "short content");
    const UpdateRun stored = RunUpdate(WithClaimedSize(ziptest::Build({entry}), claimed));
    ExpectContained(stored, "stored, claimed " + std::to_string(claimed));
    entry.deflate = true;
    const UpdateRun deflated = RunUpdate(WithClaimedSize(ziptest::Build({entry}), claimed));
    ExpectContained(deflated, "deflated, claimed " + std::to_string(claimed));
  }
}

TEST(HostileArchive, EncryptedEntryIsNotWritten) {
  ziptest::Entry entry = File("data/keep.txt", "would-be ciphertext");
  entry.flags = 0x0001;
  ziptest::Entry added = File("data/secret.txt", "would-be ciphertext");
  added.flags = 0x0001;
  const UpdateRun run = RunUpdate(ziptest::Build({entry, added}));
  ExpectContained(run, "encrypted");
  EXPECT_TRUE(run.newInstalledFiles.empty());
  EXPECT_TRUE(run.archiveLeft);
}

TEST(HostileArchive, TruncatedArchiveChangesNothing) {
  ziptest::Entry entry = File("data/keep.txt", std::string(5000, 'v'));
  entry.deflate = true;
  const std::string whole = ziptest::Build({entry, File("data/new.txt", std::string(3000, 'w'))});
  const size_t central = whole.find("PK\x01\x02");
  for (size_t length : {size_t{0}, size_t{4}, size_t{30}, central / 2, central, whole.size() - 22}) {
    const UpdateRun run = RunUpdate(whole.substr(0, length));
    ExpectContained(run, "cut to " + std::to_string(length) + " bytes");
    EXPECT_TRUE(run.newInstalledFiles.empty()) << length;
  }
  // Without the comment length at the very end, minizip still reads the archive, whose entries are
  // all whole and checked against their CRC: the update applies, complete.
  for (size_t cut : {1u, 2u}) {
    UpdateRun run = RunUpdate(whole.substr(0, whole.size() - cut));
    EXPECT_EQ(run.crashCode, 0u);
    EXPECT_TRUE(run.outsideChanges.empty());
    EXPECT_TRUE(run.leftovers.empty());
    EXPECT_EQ(run.installedAfter[L"data\\keep.txt"], std::string(5000, 'v'));
    EXPECT_EQ(run.newInstalledFiles[L"data\\new.txt"], std::string(3000, 'w'));
  }
}

TEST(HostileArchive, BadCrcDoesNotReplaceTheInstalledFile) {
  for (bool deflate : {false, true}) {
    ziptest::Entry entry = File("data/keep.txt", "content whose checksum lies");
    entry.deflate = deflate;
    entry.crc = 0x12345678;
    ziptest::Entry added = entry;
    added.name = "data/added.txt";
    const UpdateRun run = RunUpdate(ziptest::Build({entry, added}));
    ExpectContained(run, deflate ? "bad CRC, deflated" : "bad CRC, stored");
    EXPECT_TRUE(run.newInstalledFiles.empty());
    EXPECT_TRUE(run.archiveLeft);
  }
}

}  // namespace
