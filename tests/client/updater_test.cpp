// The client updater under Wine against nginx on loopback, over HTTP and HTTPS: one table of feeds
// and packages, good and bad, each with what the check and the download answer and what reached the
// installation's temp: nothing, or exactly the signed pair.
#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>
#include <sodium.h>

#include <atomic>
#include <functional>
#include <optional>
#include <set>

#include "Host.h"
#include "Installation.h"
#include "PorticoUpdater.h"
#include "Scratch.h"

namespace {

namespace fs = std::filesystem;
namespace pc = portico::client;
using pc::DownloadStatus;
using pc::UpdateCheckStatus;

constexpr std::int64_t kPublished = 1765300000;

fs::path KeyFile(const std::string& name) { return rig::BinaryFolder() / L"testkeys" / rig::FromUtf8(name); }

std::string PublicKey() {
  const std::string text = rig::ReadFile(KeyFile("vendor.pub"));
  const size_t start = text.find('\n') + 1;
  return text.substr(start, text.find('\n', start) - start);
}

void Sign(const fs::path& file, const std::string& trustedComment) {
  ASSERT_EQ(rig::RunHostProgram("/usr/bin/minisign", {"-S", "-s", rig::HostPath(KeyFile("vendor.key")), "-m",
                                                      rig::HostPath(file), "-t", trustedComment}),
            0);
}

std::string Sha256(const std::string& bytes) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) hex += {kDigits[byte >> 4], kDigits[byte & 15]};
  return hex;
}

// nginx for the whole table, with its CA trusted in this prefix while it runs.
class FeedServer {
 public:
  FeedServer() : folder_(L"feed-server") {
    Run("start");
    const std::string ports = rig::ReadFile(folder_.path() / L"ports");
    httpPort_ = std::stoi(ports);
    httpsPort_ = std::stoi(ports.substr(ports.find(' ') + 1));
    const std::string der = rig::ReadFile(folder_.path() / L"tls" / L"ca.der");
    ca_ = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                       static_cast<DWORD>(der.size()));
    EXPECT_TRUE(CertAddEncodedCertificateToSystemStoreW(L"ROOT", reinterpret_cast<const BYTE*>(der.data()),
                                                        static_cast<DWORD>(der.size())));
  }
  ~FeedServer() {
    Run("stop");
    if (HCERTSTORE root = CertOpenSystemStoreW(0, L"ROOT")) {
      if (PCCERT_CONTEXT found =
              CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ca_, nullptr)) {
        CertDeleteCertificateFromStore(found);
      }
      CertCloseStore(root, 0);
    }
    CertFreeCertificateContext(ca_);
  }
  void Run(const char* action) {
    ASSERT_EQ(rig::RunHostProgram("/bin/bash", {PORTICO_FEED_SERVER_SCRIPT, action, rig::HostPath(folder_.path())}), 0);
  }
  fs::path www() const { return folder_.path() / L"www"; }
  std::string accessLog() const { return rig::ReadFile(folder_.path() / L"logs" / L"access.log"); }
  std::wstring Url(bool https, const std::string& path) const {
    return rig::FromUtf8(
        (https ? "https://localhost:" + std::to_string(httpsPort_) : "http://127.0.0.1:" + std::to_string(httpPort_)) +
        "/" + path);
  }

 private:
  rig::ScratchFolder folder_;
  int httpPort_ = 0, httpsPort_ = 0;
  PCCERT_CONTEXT ca_ = nullptr;
};

// A loopback socket that takes connections and never answers.
class SilentServer {
 public:
  SilentServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), size);
    listen(socket_, 4);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() {
    closesocket(socket_);
    WSACleanup();
  }
  int port() const { return port_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

struct Package {
  std::string file;  // below the row's folder of the server
  std::string bytes;
};

// One row's world: its folder on the server, an installation with temp, a state folder, settings.
struct Case {
  Case(FeedServer& s, std::string name) : server(s), folder(std::move(name)) {}
  FeedServer& server;
  std::string folder;  // the row's name
  rig::ScratchFolder installation{L"install"};
  rig::ScratchFolder state{L"state"};
  pc::UpdaterSettings settings;

  fs::path Served(const std::string& file) const { return server.www() / rig::FromUtf8(folder) / rig::FromUtf8(file); }
  fs::path temp() const { return installation.path() / L"temp"; }

  // A package of `size` bytes, signed as the packer signs it unless `signedToo` is false.
  Package Publish(const std::string& file, size_t size, char seed, bool signedToo = true) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + (i >> 9));
    rig::WriteFile(Served(file), bytes);
    if (signedToo) Sign(Served(file), "timestamp:" + std::to_string(kPublished) + "\tproduct:demo\tversion:x");
    return Package{file, bytes};
  }

  // The feed at <folder>/demo.json, signed with its published time unless `signedToo` is false.
  void PublishFeed(const std::string& releases, std::int64_t published = kPublished, bool signedToo = true) {
    const std::string json = "{\"format\": 1, \"product\": \"demo\", \"published\": " + std::to_string(published) +
                             ", \"releases\": [" + releases + "]}";
    DeleteFileW((Served("demo.json").wstring() + L".minisig").c_str());
    rig::WriteFile(Served("demo.json"), json);
    if (signedToo) Sign(Served("demo.json"), "timestamp:" + std::to_string(published) + "\tproduct:demo");
  }
};

std::string PackageJson(const Package& package, std::int64_t sizeChange = 0) {
  return "{\"url\": \"" + package.file +
         "\", \"size\": " + std::to_string(static_cast<std::int64_t>(package.bytes.size()) + sizeChange) +
         ", \"sha256\": \"" + Sha256(package.bytes) + "\"}";
}

std::string Release(const std::string& version, const Package& full, int rollout = 100,
                    const std::string& channel = "stable", const std::string& deltas = "") {
  return "{\"version\": \"" + version + "\", \"channel\": \"" + channel +
         "\", \"rollout\": " + std::to_string(rollout) + ", \"notes\": \"\", \"full\": " + PackageJson(full) +
         ", \"deltas\": [" + deltas + "]}";
}

void ChangeByte(const fs::path& file, size_t offset) {
  std::string bytes = rig::ReadFile(file);
  bytes.at(offset) ^= 0x20;
  rig::WriteFile(file, bytes);
}

void WriteOutcomeRefusing(Case& c, const Package& package) {
  rig::WriteFile(c.temp() / L"~pt-update.outcome",
                 "refused\t" + std::to_string(kPublished) + "\tsignature\t" + Sha256(package.bytes) + "\n");
}

struct Row {
  const char* name;
  // Publishes the row's files and adjusts its settings and state; answers the package that must end
  // in temp with its signature, when one must.
  std::function<std::optional<Package>(Case&)> arrange;
  UpdateCheckStatus check;
  std::optional<DownloadStatus> download = std::nullopt;  // tried when the check offers
  int httpStatus = 0;                                     // of the check
  // At a quarter of the package the server stops (and starts again), or the caller cancels; a new
  // client then resumes.
  enum Cut { none, serverStopped, cancelled } cut = none;
};

const Row kRows[] = {
    {"full",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed(Release("1.1.0", full));
       return full;
     },
     UpdateCheckStatus::available, DownloadStatus::placed},
    {"delta",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       Package delta = c.Publish("demo-1.0.0-to-1.1.0.zip", 700, 'd');
       // A query, as signed CDN addresses carry, stays behind the signature's ".minisig".
       std::string deltaJson = "{\"from\": \"1.0.0\", " + PackageJson(delta).substr(1);
       deltaJson.replace(deltaJson.find(".zip\""), 5, ".zip?from=1.0.0\"");
       c.PublishFeed(Release("1.1.0", full, 100, "stable", deltaJson));
       return delta;
     },
     UpdateCheckStatus::available, DownloadStatus::placed},
    {"https",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'h');
       c.PublishFeed(Release("1.1.0", full));
       c.settings.feedUrl = c.server.Url(true, "https/demo.json");
       return full;
     },
     UpdateCheckStatus::available, DownloadStatus::placed},
    {"resumed",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("slow/demo-1.1.0.zip", 512 * 1024, 'r');
       c.PublishFeed(Release("1.1.0", full));
       return full;
     },
     UpdateCheckStatus::available, DownloadStatus::placed, 0, Row::serverStopped},
    {"cancelled",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("slow/demo-1.1.0.zip", 256 * 1024, 'c');
       c.PublishFeed(Release("1.1.0", full));
       return full;
     },
     UpdateCheckStatus::available, DownloadStatus::placed, 0, Row::cancelled},
    {"stale-part-of-another-package",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed(Release("1.1.0", full));
       rig::WriteFile(c.temp() / L"~pt-download.part", std::string(1000, 'x'));
       rig::WriteFile(c.temp() / L"~pt-download.meta",
                      "url\thttp://127.0.0.1:1/old.zip\nsize\t5000\nsha256\t" + std::string(64, '0') + "\n");
       return full;
     },
     UpdateCheckStatus::available, DownloadStatus::placed},
    {"byte-changed",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed(Release("1.1.0", full));
       ChangeByte(c.Served(full.file), 4000);
       return std::nullopt;
     },
     UpdateCheckStatus::available, DownloadStatus::hashMismatch},
    {"wrong-size",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       std::string release = Release("1.1.0", full);
       const std::string size = "\"size\": 5000";
       release.replace(release.find(size), size.size(), "\"size\": 4999");
       c.PublishFeed(release);
       return std::nullopt;
     },
     UpdateCheckStatus::available, DownloadStatus::sizeMismatch},
    {"unsigned-package",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a', false);
       c.PublishFeed(Release("1.1.0", full));
       return std::nullopt;
     },
     UpdateCheckStatus::available, DownloadStatus::signatureRefused},
    {"tampered-feed",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed(Release("1.1.0", full, 10));
       std::string json = rig::ReadFile(c.Served("demo.json"));
       json.replace(json.find("\"rollout\": 10"), 13, "\"rollout\": 99");
       rig::WriteFile(c.Served("demo.json"), json);
       return std::nullopt;
     },
     UpdateCheckStatus::feedRefused},
    {"unsigned-feed",
     [](Case& c) -> std::optional<Package> {
       c.PublishFeed(Release("1.1.0", c.Publish("demo-1.1.0.zip", 5000, 'a')), kPublished, false);
       return std::nullopt;
     },
     UpdateCheckStatus::feedRefused, std::nullopt, 404},
    {"older-feed-replayed",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed("", kPublished + 100);
       EXPECT_EQ(pc::Updater(c.settings).Check().status, UpdateCheckStatus::upToDate);
       c.PublishFeed(Release("1.1.0", full));
       return std::nullopt;
     },
     UpdateCheckStatus::feedRefused},
    {"rollout-0",
     [](Case& c) -> std::optional<Package> {
       c.PublishFeed(Release("1.1.0", c.Publish("demo-1.1.0.zip", 5000, 'a'), 0));
       return std::nullopt;
     },
     UpdateCheckStatus::upToDate},
    {"rollout-50-bucket-4999",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed(Release("1.1.0", full, 50));
       rig::WriteFile(c.state.path() / L"bucket", "4999\n");
       return full;
     },
     UpdateCheckStatus::available, DownloadStatus::placed},
    {"rollout-50-bucket-5000",
     [](Case& c) -> std::optional<Package> {
       c.PublishFeed(Release("1.1.0", c.Publish("demo-1.1.0.zip", 5000, 'a'), 50));
       rig::WriteFile(c.state.path() / L"bucket", "5000\n");
       return std::nullopt;
     },
     UpdateCheckStatus::upToDate},
    {"channel-switch",
     [](Case& c) -> std::optional<Package> {
       Package stable = c.Publish("demo-1.1.0.zip", 5000, 'a');
       Package beta = c.Publish("demo-1.2.0-beta.zip", 6000, 'b');
       c.PublishFeed(Release("1.1.0", stable) + ", " + Release("1.2.0", beta, 100, "beta"));
       c.settings.channel = "beta";
       return beta;
     },
     UpdateCheckStatus::available, DownloadStatus::placed},
    {"not-found", [](Case&) -> std::optional<Package> { return std::nullopt; }, UpdateCheckStatus::serverError,
     std::nullopt, 404},
    {"server-error",
     [](Case& c) -> std::optional<Package> {
       c.settings.feedUrl = c.server.Url(false, "failing/demo.json");
       return std::nullopt;
     },
     UpdateCheckStatus::serverError, std::nullopt, 500},
    {"plain-http-elsewhere",
     [](Case& c) -> std::optional<Package> {
       c.settings.feedUrl = L"http://127.0.0.2:1/demo.json";
       return std::nullopt;
     },
     UpdateCheckStatus::feedRefused},
    {"refused-not-fetched-twice",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed(Release("1.1.0", full));
       WriteOutcomeRefusing(c, full);
       return std::nullopt;
     },
     UpdateCheckStatus::available, DownloadStatus::alreadyRefused},
    {"refused-then-republished",
     [](Case& c) -> std::optional<Package> {
       Package full = c.Publish("demo-1.1.0.zip", 5000, 'a');
       c.PublishFeed(Release("1.1.0", full));
       WriteOutcomeRefusing(c, full);
       pc::Updater before(c.settings);
       EXPECT_EQ(before.Check().status, UpdateCheckStatus::available);
       EXPECT_EQ(before.Download(nullptr).status, DownloadStatus::alreadyRefused);
       c.PublishFeed(Release("1.1.0", full), kPublished + 1);
       return full;
     },
     UpdateCheckStatus::available, DownloadStatus::placed},
};

// What lies in temp besides the launcher's outcome record.
std::set<std::wstring> TempFiles(const Case& c) {
  std::set<std::wstring> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(c.temp(), error)) {
    if (entry.path().filename() != L"~pt-update.outcome") names.insert(entry.path().filename().wstring());
  }
  return names;
}

TEST(Updater, TableAgainstNginx) {
  FeedServer server;
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    Case c{server, row.name};
    fs::create_directories(c.temp());
    c.settings.feedUrl = server.Url(false, c.folder + "/demo.json");
    c.settings.publicKey = PublicKey();
    c.settings.product = "demo";
    c.settings.installedVersion = "1.0.0";
    c.settings.installationFolder = c.installation.path().wstring();
    c.settings.stateFolder = c.state.path().wstring();
    c.settings.timeoutMs = 5000;
    c.settings.retries = 1;
    const std::optional<Package> placed = row.arrange(c);

    pc::Updater updater(c.settings);
    const pc::UpdateCheck check = updater.Check();
    EXPECT_EQ(check.status, row.check) << check.detail;
    EXPECT_EQ(check.httpStatus, row.httpStatus) << check.detail;
    EXPECT_EQ(check.offer.has_value(), row.check == UpdateCheckStatus::available);
    if (row.download) {
      if (row.cut != Row::none) {
        std::atomic<bool> cancel{false};
        const pc::DownloadResult cut = updater.Download(
            [&](std::uint64_t done, std::uint64_t total) {
              if (cancel || done < total / 4) return;
              cancel = true;
              if (row.cut == Row::serverStopped) server.Run("stop");
            },
            row.cut == Row::cancelled ? &cancel : nullptr);
        if (row.cut == Row::serverStopped) server.Run("start");
        EXPECT_EQ(cut.status, row.cut == Row::cancelled ? DownloadStatus::cancelled : DownloadStatus::networkError)
            << cut.detail;
        const std::uint64_t kept = fs::file_size(c.temp() / L"~pt-download.part");
        EXPECT_GT(kept, 0u);
        EXPECT_LT(kept, placed->bytes.size());
        // The restarted client resumes where the part ends.
        pc::Updater restarted(c.settings);
        ASSERT_EQ(restarted.Check().status, UpdateCheckStatus::available);
        EXPECT_EQ(restarted.Download(nullptr).status, *row.download);
        EXPECT_NE(server.accessLog().find(
                      "/" + c.folder + "/slow/demo-1.1.0.zip HTTP/1.1 206 range=bytes=" + std::to_string(kept) + "-"),
                  std::string::npos)
            << server.accessLog();
      } else {
        const pc::DownloadResult result = updater.Download(nullptr);
        EXPECT_EQ(result.status, *row.download) << result.detail;
      }
    }
    if (placed) {
      EXPECT_EQ(TempFiles(c), (std::set<std::wstring>{L"update.zip", L"update.zip.minisig"}));
      EXPECT_TRUE(rig::ReadFile(c.temp() / L"update.zip") == placed->bytes);
      EXPECT_EQ(rig::ReadFile(c.temp() / L"update.zip.minisig"), rig::ReadFile(c.Served(placed->file + ".minisig")));
    } else {
      EXPECT_EQ(TempFiles(c), std::set<std::wstring>());
    }
  }
  // A package the launcher refused was fetched only after the feed was republished.
  const std::string log = server.accessLog();
  EXPECT_EQ(log.find("/refused-not-fetched-twice/demo-1.1.0.zip"), std::string::npos);
  EXPECT_NE(log.find("/refused-then-republished/demo-1.1.0.zip"), std::string::npos);
}

TEST(Updater, SilentServerTimesOut) {
  SilentServer silent;
  rig::ScratchFolder installation(L"install"), state(L"state");
  pc::UpdaterSettings settings;
  settings.feedUrl = L"http://127.0.0.1:" + std::to_wstring(silent.port()) + L"/demo.json";
  settings.publicKey = PublicKey();
  settings.product = "demo";
  settings.installationFolder = installation.path().wstring();
  settings.stateFolder = state.path().wstring();
  settings.timeoutMs = 1000;
  settings.retries = 0;
  const pc::UpdateCheck check = pc::Updater(settings).Check();
  EXPECT_EQ(check.status, UpdateCheckStatus::networkError) << check.detail;
  EXPECT_FALSE(check.offer);
}

}  // namespace
