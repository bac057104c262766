#include "UpdateCheck.h"

#include <windows.h>

#include <shlobj.h>

#include "ClientRecord.h"
#include "PorticoUpdater.h"

namespace {

using portico::client::DownloadStatus;
using portico::client::LastOutcome;
using portico::client::UpdateCheckStatus;

std::string Detail(const std::string& detail, int httpStatus) {
  std::string text = httpStatus ? " (HTTP " + std::to_string(httpStatus) + ")" : "";
  return detail.empty() ? text : text + ": " + EscapeBytes(detail);
}

std::string Words(DownloadStatus status) {
  switch (status) {
    case DownloadStatus::placed:
      return "placed in temp, the launcher installs it at its next start";
    case DownloadStatus::cancelled:
      return "cancelled";
    case DownloadStatus::networkError:
      return "network error";
    case DownloadStatus::serverError:
      return "server error";
    case DownloadStatus::sizeMismatch:
      return "size does not match the feed";
    case DownloadStatus::hashMismatch:
      return "SHA-256 does not match the feed";
    case DownloadStatus::signatureRefused:
      return "signature refused";
    case DownloadStatus::diskError:
      return "disk error";
    case DownloadStatus::alreadyRefused:
      return "the launcher refused this very archive before: not fetched again";
  }
  return "unknown";
}

std::string Words(UpdateCheckStatus status) {
  switch (status) {
    case UpdateCheckStatus::upToDate:
      return "up to date";
    case UpdateCheckStatus::available:
      return "update available";
    case UpdateCheckStatus::feedRefused:
      return "feed refused";
    case UpdateCheckStatus::networkError:
      return "network error";
    case UpdateCheckStatus::serverError:
      return "server error";
  }
  return "unknown";
}

std::wstring DefaultStateFolder(const std::string& product) {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
  return std::wstring(folder) + L"\\" + std::wstring(product.begin(), product.end()) + L"-updates";
}

}  // namespace

void CheckForUpdates(const UpdateCheckSettings& settings, const std::wstring& installationFolder,
                     const std::function<void(const std::string&)>& record) {
  portico::client::UpdaterSettings updater;
  updater.feedUrl = settings.feedUrl;
  updater.allowPlainHttp = settings.allowPlainHttp;
  updater.channel = settings.channel;
  updater.publicKey = settings.publicKey;
  updater.product = settings.product;
  updater.installedVersion = settings.installedVersion;
  updater.installationFolder = installationFolder;
  updater.stateFolder = settings.stateFolder.empty() ? DefaultStateFolder(settings.product) : settings.stateFolder;
  portico::client::Updater client(updater);

  const LastOutcome last = client.ReadLastOutcome();
  if (last.kind == LastOutcome::installed) {
    record("last update: installed " + EscapeBytes(last.version) + " (signed at " + std::to_string(last.timestamp) +
           ")");
  } else if (last.kind == LastOutcome::refused) {
    record("last update: refused, " + EscapeBytes(last.reason));
  }

  record("update check: " + EscapeBytes(ToUtf8(settings.feedUrl)) + ", installed " +
         EscapeBytes(settings.installedVersion));
  const portico::client::UpdateCheck check = client.Check();
  if (check.status != UpdateCheckStatus::available || !check.offer) {
    record("update check: " + Words(check.status) + Detail(check.detail, check.httpStatus));
    return;
  }
  const portico::client::UpdateOffer& offer = *check.offer;
  record("update check: " + EscapeBytes(offer.version) + " offered, " + (offer.delta ? "delta" : "full") +
         " package of " + std::to_string(offer.size) + " bytes" +
         (offer.notesUrl.empty() ? "" : ", notes " + EscapeBytes(offer.notesUrl)));
  // A quarter at a time is enough to see it move.
  int quarters = 0;
  const portico::client::DownloadResult result = client.Download([&](std::uint64_t done, std::uint64_t total) {
    if (total == 0) return;
    const int reached = static_cast<int>(done * 4 / total);
    if (reached <= quarters) return;
    quarters = reached;
    record("update download: " + std::to_string(done) + " of " + std::to_string(total) + " bytes");
  });
  record("update download: " + Words(result.status) + Detail(result.detail, result.httpStatus));
}
