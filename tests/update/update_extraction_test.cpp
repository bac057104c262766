// Extraction against real folders: archives made by ZipBuilder, unpacked below a scratch root.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "ArchiveSource.h"
#include "EnsureFolder.h"
#include "Scratch.h"
#include "UpdateExtraction.h"
#include "WinHandles.h"
#include "ZipBuilder.h"
#include "ZipReader.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Entry;

constexpr uint64_t kUnixEpoch = 116444736000000000ull;

struct FileTimes {
  uint64_t access = 0;
  uint64_t write = 0;
};

uint64_t Count(const FILETIME& time) { return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

FileTimes TimesOf(const fs::path& path) {
  portico::FileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  FILETIME access{}, write{};
  GetFileTime(file.get(), nullptr, &access, &write);
  return {Count(access), Count(write)};
}

// What the default DOS stamp of ZipBuilder, 2021-06-15 10:30:20 local time, is in UTC.
uint64_t DefaultStampUtc() {
  SYSTEMTIME system{};
  system.wYear = 2021;
  system.wMonth = 6;
  system.wDay = 15;
  system.wHour = 10;
  system.wMinute = 30;
  system.wSecond = 20;
  FILETIME local{}, utc{};
  SystemTimeToFileTime(&system, &local);
  LocalFileTimeToFileTime(&local, &utc);
  return Count(utc);
}

DWORD AttributesOf(const fs::path& path) { return GetFileAttributesW(path.c_str()); }

Entry File(const std::string& name, const std::string& data, bool deflate = false) {
  Entry entry;
  entry.name = name;
  entry.data = data;
  entry.deflate = deflate;
  return entry;
}

Entry UnixFile(const std::string& name, const std::string& data, uint32_t mode) {
  Entry entry = File(name, data);
  entry.versionMadeBy = ziptest::kMadeOnUnix;
  entry.externalAttributes = ziptest::UnixMode(mode);
  return entry;
}

// Every file and folder below `folder`, with the contents of the files, leaving out `except`.
std::map<fs::path, std::string> Snapshot(const fs::path& folder, const fs::path& except = {}) {
  std::map<fs::path, std::string> items;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == except) {
      it.disable_recursion_pending();
      continue;
    }
    items[it->path()] = it->is_directory() ? std::string("<folder>") : rig::ReadFile(it->path());
  }
  return items;
}

bool HasTemporaryFiles(const fs::path& folder) {
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.path().extension() == L".tmp") return true;
  }
  return false;
}

class Installed {
 public:
  explicit Installed(const std::wstring& leaf = L"install") : scratch_(leaf) {}
  const fs::path& root() const { return scratch_.path(); }
  fs::path archive() const { return root() / L"update.zip"; }
  void Put(const fs::path& relative, const std::string& bytes) const { rig::WriteFile(root() / relative, bytes); }
  std::string Read(const fs::path& relative) const { return rig::ReadFile(root() / relative); }
  ExtractionReport Apply(const std::vector<Entry>& entries) const {
    rig::WriteFile(archive(), ziptest::Build(entries));
    return ExtractUpdatePackageIn(root().wstring());
  }

 private:
  rig::ScratchFolder scratch_;
};

TEST(Extraction, NamesAreCleanedBelowTheRoot) {
  Installed install;
  const ExtractionReport report = install.Apply({File("C:\\Windows\\x.dll", "x"), File("/etc/x", "etc"),
                                                 File("a\\..\\b.txt", "b"), File("x/y/../z.txt", "z", true)});
  EXPECT_EQ(report.applied, 4);
  EXPECT_EQ(install.Read(L"Windows/x.dll"), "x");
  EXPECT_EQ(install.Read(L"etc/x"), "etc");
  EXPECT_EQ(install.Read(L"b.txt"), "b");
  EXPECT_EQ(install.Read(L"z.txt"), "z");
  EXPECT_FALSE(fs::exists(install.root() / L"a"));
  EXPECT_FALSE(fs::exists(install.root() / L"x"));
  EXPECT_FALSE(fs::exists(L"C:\\Windows\\x.dll"));
  EXPECT_TRUE(report.archiveDeleted);
  EXPECT_FALSE(fs::exists(install.archive()));
}

TEST(Extraction, UnixFolderEntryCreatesEachLevelAndNoFile) {
  Installed install;
  Entry unmarked = File("share/empty/", "");
  unmarked.externalAttributes = 0;  // some archivers mark a folder by its trailing separator alone
  const ExtractionReport report = install.Apply({UnixFile("bin/sub/", "", 040755), unmarked});
  EXPECT_EQ(report.applied, 2);
  EXPECT_TRUE(fs::is_directory(install.root() / L"bin" / L"sub"));
  EXPECT_TRUE(fs::is_empty(install.root() / L"bin" / L"sub"));
  EXPECT_TRUE(fs::is_directory(install.root() / L"share" / L"empty"));
}

TEST(Extraction, FileWithoutAFolderEntryGetsItsFolder) {
  Installed install;
  install.Apply({File("bin/tool.dll", std::string(40000, 't'), true)});
  EXPECT_EQ(install.Read(L"bin/tool.dll"), std::string(40000, 't'));
}

TEST(Extraction, DosAttributesAreGivenAndAReadOnlyFileIsReplacedNextTime) {
  Installed install;
  Entry first = File("cfg.dat", "version 1");
  first.externalAttributes = 0x21;
  install.Apply({first});
  EXPECT_EQ(AttributesOf(install.root() / L"cfg.dat"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

  Entry second = File("cfg.dat", "version 2");
  second.versionMadeBy = ziptest::kMadeOnNtfs;
  const ExtractionReport report = install.Apply({second});
  EXPECT_EQ(report.applied, 1);
  EXPECT_EQ(install.Read(L"cfg.dat"), "version 2");
  EXPECT_EQ(AttributesOf(install.root() / L"cfg.dat"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
}

TEST(Extraction, UnixOwnerWriteDecidesReadOnly) {
  Installed install;
  install.Apply({UnixFile("writable", "w", 0100644), UnixFile("locked", "l", 0100444)});
  EXPECT_EQ(AttributesOf(install.root() / L"writable"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(AttributesOf(install.root() / L"locked"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}

TEST(Extraction, TimestampWriteTimeZeroIsTheEpochWhileTheOthersKeepTheDosStamp) {
  Installed install;
  Entry entry = File("stamped.txt", "t");
  entry.localExtra = ziptest::ExtraBlock(0x000A, std::string(32, '\0')) + ziptest::TimestampBlock(0x01, {0});
  Entry all = File("all.txt", "a");
  all.localExtra = ziptest::TimestampBlock(0x07, {1000000000, 1100000000, 1200000000});
  all.centralExtra = ziptest::TimestampBlock(0x07, {1000000000}, 5);
  install.Apply({entry, all});

  // Wine keeps no creation time of its own (it reports the write time back), so the access time
  // stands for the two that keep the DOS stamp.
  FileTimes times = TimesOf(install.root() / L"stamped.txt");
  EXPECT_EQ(times.write, kUnixEpoch);
  EXPECT_EQ(times.access, DefaultStampUtc());
  times = TimesOf(install.root() / L"all.txt");
  EXPECT_EQ(times.write, kUnixEpoch + 1000000000ull * 10000000);
  EXPECT_EQ(times.access, kUnixEpoch + 1100000000ull * 10000000);
}

TEST(Extraction, DateOutsideTheCalendarLeavesItsTimesUnset) {
  Installed install;
  Entry entry = File("nodate.txt", "n");
  entry.dosDate = (41 << 9) | (0 << 5) | 15;  // month 0
  entry.localExtra = ziptest::TimestampBlock(0x01, {1000000000});
  const ExtractionReport report = install.Apply({entry});
  EXPECT_EQ(report.applied, 1);
  const FileTimes times = TimesOf(install.root() / L"nodate.txt");
  EXPECT_EQ(times.write, kUnixEpoch + 1000000000ull * 10000000);
  // Left to the file system: the moment of extraction, not some day of 1980 or 1601.
  EXPECT_GT(times.access, DefaultStampUtc());
}

TEST(Extraction, EmptyArchiveIsDeletedAndOtherFilesStay) {
  Installed install;
  install.Put(L"keep.txt", "not in the archive");
  install.Put(L"app.dll", "version 1");
  // minizip takes an end record at offset 0 for none at all; either way nothing is extracted.
  ExtractionReport report = install.Apply({});
  EXPECT_EQ(report.applied + report.skipped + report.failed, 0);
  EXPECT_TRUE(report.archiveDeleted);

  report = install.Apply({File("app.dll", "version 2", true)});
  EXPECT_EQ(install.Read(L"app.dll"), "version 2");
  EXPECT_EQ(install.Read(L"keep.txt"), "not in the archive");
  EXPECT_FALSE(fs::exists(install.archive()));
  EXPECT_FALSE(HasTemporaryFiles(install.root()));
}

TEST(Extraction, HostileArchiveChangesNothingOutsideAndNoInstalledFileIsDamaged) {
  Installed install;
  const fs::path outside = install.root().parent_path() / L"outside";
  rig::WriteFile(outside / L"victim.txt", "precious");
  install.Put(L"app.dll", "version 1");
  install.Put(L"keep.txt", "keep");
  const auto before = Snapshot(install.root().parent_path(), install.root());
  const std::string absolute = (outside / L"abs.txt").string();

  Entry badCrc = File("app.dll", "version 2 but damaged", true);
  badCrc.crc = 0x12345678;
  const ExtractionReport report = install.Apply({
      File("../outside/victim.txt", "pwned"),
      File("x/y/../../outside/new.txt", "pwned"),
      File("..\\outside\\back.txt", "pwned"),
      File("C:..\\outside\\drive.txt", "pwned"),
      File("ok/. ./outside/dots.txt", "pwned"),
      File(absolute, "inside after all"),
      File("keep.txt:evil", "stream"),
      File("CON", "device"),
      File("nul.txt", "device"),
      File("bin/COM1.log", "device"),
      File("lpt\xC2\xB2", "device"),
      File(std::string(300, 'n'), "too long"),
      badCrc,
      File("good.txt", "fine"),
  });

  EXPECT_EQ(report.entries, 14);
  EXPECT_EQ(report.applied, 2);
  EXPECT_EQ(report.skipped, 11);
  EXPECT_EQ(report.failed, 1);
  EXPECT_EQ(Snapshot(install.root().parent_path(), install.root()), before);
  EXPECT_EQ(install.Read(L"app.dll"), "version 1");
  EXPECT_EQ(install.Read(L"keep.txt"), "keep");
  EXPECT_EQ(install.Read(L"good.txt"), "fine");
  EXPECT_FALSE(fs::exists(install.root() / L"bin"));
  EXPECT_TRUE(fs::exists(install.archive()));
  EXPECT_FALSE(HasTemporaryFiles(install.root()));
}

TEST(Extraction, EntriesThatCannotBeReadLeaveTheInstalledFilesAndKeepTheArchive) {
  Installed install;
  install.Put(L"secret.txt", "old secret");
  install.Put(L"data.bin", "old data");
  Entry encrypted = File("secret.txt", "new secret");
  encrypted.flags = 0x0001;
  Entry damaged = File("data.bin", "new data");
  damaged.deflate = true;
  damaged.payload = ziptest::Deflate(std::string(20000, 'd')).substr(0, 40) + std::string(40, '\xFF');
  const ExtractionReport report = install.Apply({encrypted, damaged});
  EXPECT_EQ(report.failed, 2);
  EXPECT_EQ(install.Read(L"secret.txt"), "old secret");
  EXPECT_EQ(install.Read(L"data.bin"), "old data");
  EXPECT_TRUE(fs::exists(install.archive()));
  EXPECT_FALSE(HasTemporaryFiles(install.root()));
}

TEST(Extraction, FileInUseIsNotReplacedAndKeepsItsReadOnlyAttribute) {
  Installed install;
  install.Put(L"lib.dll", "old");
  const fs::path installed = install.root() / L"lib.dll";
  ASSERT_TRUE(SetFileAttributesW(installed.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    portico::FileHandle inUse(CreateFileW(installed.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(inUse);
    const ExtractionReport report = install.Apply({File("lib.dll", "new")});
    EXPECT_EQ(report.failed, 1);
  }
  EXPECT_EQ(install.Read(L"lib.dll"), "old");
  EXPECT_TRUE(AttributesOf(installed) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(fs::exists(install.archive()));
  EXPECT_FALSE(HasTemporaryFiles(install.root()));
}

TEST(Extraction, AFileEntryOverAFolderFailsAndTheFolderStaysWhole) {
  const std::pair<std::string, fs::path> cases[] = {{"data", L"data"}, {"data/sub", L"data\\sub"}};
  for (const auto& [entry, folder] : cases) {
    SCOPED_TRACE(entry);
    Installed install;
    install.Put(folder / L"kept.txt", "kept");
    std::map<fs::path, std::string> expected = Snapshot(install.root());
    expected[install.root() / L"other.txt"] = "new";
    const ExtractionReport report = install.Apply({File(entry, "a file"), File("other.txt", "new")});
    EXPECT_EQ(report.applied, 1);
    EXPECT_EQ(report.failed, 1);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].status, ZipStatus::CannotOpenOrCreate);
    // Nothing moved aside under another name.
    EXPECT_EQ(Snapshot(install.root(), install.archive()), expected);
    EXPECT_TRUE(fs::exists(install.archive()));
  }
}

TEST(Extraction, ArchivesThatAreNoZipAreDeletedUnread) {
  Installed install;
  install.Put(L"update.zip", "this is no zip archive");
  ExtractionReport report = ExtractUpdatePackageIn(install.root().wstring());
  EXPECT_TRUE(report.archiveFound);
  EXPECT_FALSE(report.archiveOpened);
  EXPECT_TRUE(report.archiveDeleted);

  const std::string whole = ziptest::Build({File("a.txt", std::string(5000, 'a')), File("b.txt", "b")});
  install.Put(L"update.zip", whole.substr(0, whole.size() / 2));
  report = ExtractUpdatePackageIn(install.root().wstring());
  EXPECT_FALSE(report.archiveOpened);
  EXPECT_TRUE(report.archiveDeleted);
  EXPECT_TRUE(fs::is_empty(install.root()));

  report = ExtractUpdatePackageIn(install.root().wstring());
  EXPECT_FALSE(report.archiveFound);
}

TEST(Extraction, NamesAndPathsThatDoNotFitAreSkipped) {
  Installed install;
  const size_t roomLeft = 259 - (install.root().wstring().size() + 1);
  const ExtractionReport report =
      install.Apply({File(std::string(roomLeft, 'f'), "fits"), File(std::string(roomLeft + 1, 'p'), "path"),
                     File(std::string(260, 'n'), "name")});
  EXPECT_EQ(report.applied, 1);
  EXPECT_EQ(report.skipped, 2);
  EXPECT_EQ(install.Read(std::string(roomLeft, 'f')), "fits");
  EXPECT_TRUE(report.archiveDeleted);
}

TEST(Extraction, FolderAndNamesOutsideTheAnsiCodePage) {
  Installed install(L"\x5B89\x88C5");
  std::string big;
  for (unsigned i = 0; i < 100000; ++i) big += static_cast<char>((i * 2654435761u) >> 24);
  const ExtractionReport report = install.Apply(
      {File("\xE6\x95\xB0\xE6\x8D\xAE/\xE8\xAF\xB4\xE6\x98\x8E.txt", "notes"), File("big.bin", big, true)});
  EXPECT_EQ(report.applied, 2);
  EXPECT_EQ(install.Read(L"\x6570\x636E/\x8BF4\x660E.txt"), "notes");
  EXPECT_EQ(install.Read(L"big.bin"), big);
  EXPECT_TRUE(report.archiveDeleted);
}

TEST(ZipReader, CountsAndDescribesEntries) {
  Installed install;
  Entry dos = File("/docs/read me.txt", "hello, hello", true);
  dos.externalAttributes = 0x23;
  rig::WriteFile(install.archive(), ziptest::Build({dos, UnixFile("bin/", "", 040755), File("c.txt", "c")}));

  ZipReader reader;
  ASSERT_EQ(reader.Open(install.archive().wstring(), install.root().wstring()), ZipStatus::Success);
  EXPECT_EQ(reader.Open(install.archive().wstring(), install.root().wstring()), ZipStatus::AlreadyOpen);
  EXPECT_EQ(reader.root(), install.root().wstring() + L"\\");
  ZipEntryInfo info;
  info.name = L"left over";
  info.attributes = 7;
  ASSERT_EQ(reader.GetEntry(-1, info), ZipStatus::Success);
  EXPECT_EQ(info.index, 3);
  EXPECT_EQ(info.name, L"");
  EXPECT_EQ(info.attributes, 0u);
  EXPECT_EQ(info.writeTime, 0u);
  EXPECT_EQ(reader.GetEntry(3, info), ZipStatus::BadArgument);
  EXPECT_EQ(reader.GetEntry(-2, info), ZipStatus::BadArgument);
  EXPECT_EQ(reader.ExtractEntry(3, L"x"), ZipStatus::BadArgument);

  // Backwards after forwards: the reader goes back to the first entry.
  ASSERT_EQ(reader.GetEntry(2, info), ZipStatus::Success);
  EXPECT_EQ(info.name, L"c.txt");
  ASSERT_EQ(reader.GetEntry(0, info), ZipStatus::Success);
  EXPECT_EQ(info.index, 0);
  EXPECT_EQ(info.name, L"docs/read me.txt");
  EXPECT_EQ(info.attributes, 0x23u);
  EXPECT_EQ(info.uncompressedSize, 12);
  EXPECT_EQ(info.compressedSize, static_cast<int32_t>(ziptest::Deflate("hello, hello").size()));
  EXPECT_EQ(info.writeTime, DefaultStampUtc());
  ASSERT_EQ(reader.GetEntry(1, info), ZipStatus::Success);
  EXPECT_EQ(info.attributes, 0x30u);

  // An absolute destination is taken as it stands.
  const fs::path elsewhere = install.root().parent_path() / L"elsewhere" / L"c.txt";
  EXPECT_EQ(reader.ExtractEntry(2, elsewhere.wstring()), ZipStatus::Success);
  EXPECT_EQ(rig::ReadFile(elsewhere), "c");

  EXPECT_EQ(reader.Close(), ZipStatus::Success);
  EXPECT_EQ(reader.GetEntry(-1, info), ZipStatus::BadArgument);
  EXPECT_EQ(reader.ExtractEntry(0, L"x"), ZipStatus::BadArgument);
}

TEST(ZipReader, EachFailureHasItsStatusAndWritesNothing) {
  Installed install;
  ZipReader reader;
  EXPECT_EQ(reader.Open((install.root() / L"missing.zip").wstring(), install.root().wstring()),
            ZipStatus::CannotOpenOrCreate);
  install.Put(L"plain.txt", "no zip");
  EXPECT_EQ(reader.Open((install.root() / L"plain.txt").wstring(), install.root().wstring()),
            ZipStatus::CorruptArchive);

  Entry encrypted = File("enc.txt", "e");
  encrypted.flags = 0x0001;
  Entry badCrc = File("crc.txt", "c");
  badCrc.crc = 1;
  Entry badData = File("inflate.txt", "i", true);
  badData.payload = std::string(8, '\xFF');
  Entry bzip = File("bzip.txt", "b");
  bzip.method = 12;
  Entry mismatch = File("local.txt", "l");
  mismatch.localMethod = 8;
  rig::WriteFile(install.archive(), ziptest::Build({encrypted, badCrc, badData, bzip, mismatch, File("ok.txt", "ok")}));

  ASSERT_EQ(reader.Open(install.archive().wstring(), install.root().wstring()), ZipStatus::Success);
  EXPECT_EQ(reader.ExtractEntry(0, L"enc.txt"), ZipStatus::PasswordRequired);
  EXPECT_EQ(reader.ExtractEntry(1, L"crc.txt"), ZipStatus::ChecksumMismatch);
  EXPECT_EQ(reader.ExtractEntry(2, L"inflate.txt"), ZipStatus::InflateError);
  ZipEntryInfo info;
  EXPECT_EQ(reader.GetEntry(3, info), ZipStatus::CorruptArchive);
  EXPECT_EQ(info.name, L"");
  EXPECT_EQ(reader.GetEntry(4, info), ZipStatus::CorruptArchive);
  EXPECT_EQ(info.name, L"");
  EXPECT_EQ(reader.ExtractEntry(4, L"local.txt"), ZipStatus::CorruptArchive);
  EXPECT_EQ(reader.ExtractEntry(5, L"ok.txt"), ZipStatus::Success);
  reader.Close();
  fs::remove(install.archive());
  fs::remove(install.root() / L"plain.txt");
  std::vector<std::wstring> left;
  for (const auto& item : fs::directory_iterator(install.root())) left.push_back(item.path().filename().wstring());
  EXPECT_EQ(left, std::vector<std::wstring>{L"ok.txt"});
}

TEST(EnsureFolder, CreatesTheRootAndEachMissingLevel) {
  rig::ScratchFolder scratch;
  const std::wstring root = (scratch.path() / L"root").wstring() + L"\\";
  EnsureFolder(root, L"a/b\\c/");
  EXPECT_TRUE(fs::is_directory(scratch.path() / L"root" / L"a" / L"b" / L"c"));
  const std::wstring absolute = (scratch.path() / L"x" / L"y").wstring();
  EnsureFolder(L"", absolute);
  EXPECT_TRUE(fs::is_directory(absolute));
  EnsureFolder(root, L"");
  EXPECT_TRUE(fs::is_directory(root));
}

// minizip's reads as they come in a pass: small ones jumping between the central directory at the
// end and the data at the front, large ones, and reads that run past the end. Each answers exactly the
// file's bytes, whichever buffer serves it.
TEST(ArchiveSource, EveryReadAnswersTheFilesBytesWhereverItJumps) {
  rig::ScratchFolder scratch;
  std::mt19937 random(7);
  std::string bytes(5 * ArchiveSource::kBufferSize / 2 + 13, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  const fs::path path = scratch.path() / L"update.zip";
  rig::WriteFile(path, bytes);
  ArchiveSource source;
  ASSERT_TRUE(source.Open(path.wstring()));
  zlib_filefunc64_def functions = source.Functions();
  const voidpf stream = functions.zopen64_file(functions.opaque, nullptr, 0);
  uint64_t front = 0;
  uint64_t back = bytes.size() - 3000;
  for (int i = 0; i < 3000; ++i) {
    const bool atFront = i % 3 != 0;
    uint64_t& at = atFront ? front : back;
    if (random() % 50 == 0) at = random() % bytes.size();
    const size_t want = random() % 10 == 0 ? ArchiveSource::kBufferSize + random() % 5000 : random() % 700;
    ASSERT_EQ(functions.zseek64_file(functions.opaque, stream, at, ZLIB_FILEFUNC_SEEK_SET), 0);
    std::string got(want, '\0');
    const uLong read = functions.zread_file(functions.opaque, stream, got.data(), static_cast<uLong>(want));
    const size_t expected = static_cast<size_t>(std::min<uint64_t>(want, bytes.size() - at));
    ASSERT_EQ(read, expected) << "read " << i << " at " << at;
    ASSERT_EQ(got.substr(0, read), bytes.substr(static_cast<size_t>(at), expected)) << "read " << i << " at " << at;
    at = at + read < bytes.size() ? at + read : random() % bytes.size();
  }
  EXPECT_EQ(functions.zerror_file(functions.opaque, stream), 0);
}

// How the removal list itself is taken: each row an archive around a list that names "old.dll", what
// becomes of that file, how the list entry is counted, and whether the archive stays.
struct ListRow {
  const char* what;
  std::vector<Entry> entries;
  RemovalListState state;
  bool removed;
  int applied, skipped, failed;
  bool archiveKept;
};

TEST(Extraction, TheRemovalListIsReadOnceEveryEntryHasApplied) {
  Entry damagedList = File("~pt~removals.txt", "old.dll\n");
  damagedList.crc = 1;
  Entry encrypted = File("new.txt", "new");
  encrypted.flags = 0x0001;
  const std::string overBound = std::string(1024 * 1024, '\n') + "old.dll\n";
  const std::vector<ListRow> rows = {
      {"a list",
       {File("new.txt", "new"), File("~pt~removals.txt", "old.dll\n")},
       RemovalListState::Done,
       true,
       2,
       0,
       0,
       false},
      {"its name in another case, deflated",
       {File("~PT~Removals.TXT", "old.dll\n", true)},
       RemovalListState::Done,
       true,
       1,
       0,
       0,
       false},
      {"over 1 MiB", {File("~pt~removals.txt", overBound, true)}, RemovalListState::Refused, false, 0, 1, 0, false},
      {"two lists",
       {File("~pt~removals.txt", "old.dll\n"), File("~PT~REMOVALS.TXT", "old.dll\n")},
       RemovalListState::Refused,
       false,
       0,
       2,
       0,
       false},
      {"a damaged list", {damagedList}, RemovalListState::Waiting, false, 0, 0, 1, true},
      {"an entry failed",
       {encrypted, File("~pt~removals.txt", "old.dll\n")},
       RemovalListState::Waiting,
       false,
       1,
       0,
       1,
       true},
      {"not at the root",
       {File("/~pt~removals.txt", "old.dll\n"), File("x/../~pt~removals.txt", "old.dll\n")},
       RemovalListState::None,
       false,
       0,
       2,
       0,
       false},
  };
  for (const ListRow& row : rows) {
    Installed install;
    install.Put(L"old.dll", "old");
    const ExtractionReport report = install.Apply(row.entries);
    EXPECT_EQ(report.removals.state, row.state) << row.what;
    EXPECT_EQ(!fs::exists(install.root() / L"old.dll"), row.removed) << row.what;
    EXPECT_EQ(report.applied, row.applied) << row.what;
    EXPECT_EQ(report.skipped, row.skipped) << row.what;
    EXPECT_EQ(report.failed, row.failed) << row.what;
    EXPECT_EQ(fs::exists(install.archive()), row.archiveKept) << row.what;
  }
}

}  // namespace
