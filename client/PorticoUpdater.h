#pragma once
// PorticoUpdater: finds, fetches and hands over updates for the Portico launcher to install. It runs
// in the client's own process without administrator rights: it reads the vendor's signed feed, and
// leaves a package whose SHA-256 and minisign signature were checked in <installation>\temp as
// update.zip with update.zip.minisig, where the launcher installs it at its next start.
//
//   namespace pc = portico::client;
//   pc::Updater updater(settings);
//   pc::UpdateCheck check = updater.Check();
//   if (check.status == pc::UpdateCheckStatus::available) {
//     pc::DownloadResult result = updater.Download([](std::uint64_t done, std::uint64_t total) {...});
//     if (result.status == pc::DownloadStatus::placed) ...  // installed when the launcher next starts
//   }
//
// Windows only (WinHTTP, BCrypt's random numbers); libsodium checks the signatures.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace portico::client {

struct UpdaterSettings {
  std::wstring feedUrl;  // https://..., or http:// to 127.0.0.1/localhost/[::1], or any http:// with allowPlainHttp
  bool allowPlainHttp = false;
  std::string channel = "stable";
  std::string publicKey;  // the minisign public key line (base64), the same the launcher trusts
  std::string product;    // the Protocol
  std::string installedVersion;
  std::wstring installationFolder;  // the launcher's folder; downloads go to <folder>\temp
  std::wstring stateFolder;  // where the client may write (bucket, last feed seen); e.g. %LOCALAPPDATA%\<product>
  unsigned timeoutMs = 30000;
  int retries = 3;
};

enum class UpdateCheckStatus { upToDate, available, feedRefused, networkError, serverError };

struct UpdateOffer {
  std::string version, notesUrl;
  std::uint64_t size = 0;
  bool delta = false;
};

struct UpdateCheck {
  UpdateCheckStatus status;
  std::optional<UpdateOffer> offer;
  int httpStatus = 0;
  std::string detail;
};

enum class DownloadStatus {
  placed,
  cancelled,
  networkError,
  serverError,
  sizeMismatch,
  hashMismatch,
  signatureRefused,
  diskError,
  alreadyRefused
};

struct DownloadResult {
  DownloadStatus status;
  int httpStatus = 0;
  std::string detail;
};

struct LastOutcome {
  enum Kind { none, installed, refused } kind = none;
  std::string version, reason;
  std::int64_t timestamp = 0;
};

class Updater {
 public:
  explicit Updater(UpdaterSettings settings);

  UpdateCheck Check();  // blocking; call it from any thread
  // The offer of the last Check. Progress counts the bytes of the package, resumed ones included.
  DownloadResult Download(const std::function<void(std::uint64_t done, std::uint64_t total)>& progress,
                          const std::atomic<bool>* cancel = nullptr);
  LastOutcome ReadLastOutcome() const;  // temp\~pt-update.outcome

 private:
  // The package the last Check offered, and the feed that offered it.
  struct Chosen {
    std::string url;  // absolute
    std::uint64_t size = 0;
    std::string sha256;
    std::int64_t published = 0;
  };
  UpdaterSettings settings_;
  std::optional<Chosen> chosen_;
};

}  // namespace portico::client
