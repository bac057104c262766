#include "PorticoUpdater.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "FeedFormat.h"
#include "MinisignFormat.h"
#include "Rollout.h"
#include "updater/DownloadFile.h"
#include "updater/HttpSession.h"
#include "updater/PackageCheck.h"
#include "updater/StateFiles.h"
#include "updater/UpdaterText.h"
#include "updater/Utf8.h"

namespace portico::client {
namespace {

using namespace updater;

constexpr size_t kMaxFeedBytes = 4u << 20;
constexpr size_t kMaxSignatureBytes = 4u << 10;

UpdateCheck CheckResult(UpdateCheckStatus status, std::string detail, int httpStatus = 0) {
  return UpdateCheck{status, std::nullopt, httpStatus, std::move(detail)};
}

DownloadResult DownloadOutcome(DownloadStatus status, std::string detail, int httpStatus = 0) {
  return DownloadResult{status, httpStatus, std::move(detail)};
}

std::wstring TempFolder(const UpdaterSettings& settings) {
  std::wstring folder = settings.installationFolder;
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder + L"temp\\";
}

std::wstring StateFile(const UpdaterSettings& settings, const wchar_t* name) {
  return settings.stateFolder + L"\\" + name;
}

OutcomeLine ReadOutcomeLine(const UpdaterSettings& settings) {
  std::string text;
  if (!ReadSmallFile(TempFolder(settings) + L"~pt-update.outcome", 4096, text)) return OutcomeLine();
  return ParseOutcomeLine(text);
}

// The launcher refused exactly this package, and no newer feed has come since that was first seen.
bool RefusedBefore(const UpdaterSettings& settings, const std::string& sha256, std::int64_t published) {
  const OutcomeLine outcome = ReadOutcomeLine(settings);
  if (outcome.kind != OutcomeLine::refused || outcome.sha256 != sha256) return false;
  const std::wstring path = StateFile(settings, L"refusal");
  std::string text;
  if (ReadSmallFile(path, 4096, text)) {
    const std::optional<RefusalSeen> seen = ParseRefusalSeen(text);
    if (seen && seen->sha256 == sha256) return published <= seen->published;
  }
  ReplaceFileBytes(path, WriteRefusalSeen(RefusalSeen{sha256, published}));
  return true;
}

std::string RefusedDetail(const UpdaterSettings& settings) {
  return "the launcher refused this package (" + ReadOutcomeLine(settings).reason +
         "): it is not fetched again until the feed is republished";
}

// A small file that could not be fetched, as the check reports it.
UpdateCheck FetchFailure(const SmallFile& file) {
  switch (file.kind) {
    case SmallFile::networkError:
      return CheckResult(UpdateCheckStatus::networkError, file.detail);
    case SmallFile::serverError:
      return CheckResult(UpdateCheckStatus::serverError, file.detail, file.status);
    default:
      return CheckResult(UpdateCheckStatus::feedRefused, file.detail, file.status);
  }
}

}  // namespace

Updater::Updater(UpdaterSettings settings) : settings_(std::move(settings)) {}

UpdateCheck Updater::Check() {
  chosen_.reset();
  const std::string feedUrl = Narrowed(settings_.feedUrl);
  if (!IsFetchAllowed(feedUrl, settings_.allowPlainHttp)) {
    return CheckResult(UpdateCheckStatus::feedRefused,
                       "the feed's address must be https:// (http:// only to this machine, unless allowed)");
  }
  const std::optional<MinisignKey> key = ParseMinisignKey(settings_.publicKey);
  if (!key) return CheckResult(UpdateCheckStatus::feedRefused, "the public key is not a minisign public key");
  if (settings_.stateFolder.empty()) {
    return CheckResult(UpdateCheckStatus::feedRefused, "no state folder: an older feed could not be told apart");
  }

  HttpSession http(settings_.timeoutMs);
  const SmallFile feedFile = FetchSmallFile(http, feedUrl, kMaxFeedBytes, settings_.retries);
  if (feedFile.kind != SmallFile::fetched) return FetchFailure(feedFile);
  const SmallFile signatureFile = FetchSmallFile(http, SignatureUrl(feedUrl), kMaxSignatureBytes, settings_.retries);
  if (signatureFile.kind == SmallFile::serverError && signatureFile.status < 500) {
    return CheckResult(UpdateCheckStatus::feedRefused, "the feed is not signed: " + signatureFile.detail,
                       signatureFile.status);
  }
  if (signatureFile.kind != SmallFile::fetched) return FetchFailure(signatureFile);

  const std::string& json = feedFile.body;
  const FileReader readFeed = [&json](uint64_t offset, void* buffer, size_t size) -> size_t {
    if (offset >= json.size()) return 0;
    const size_t count = std::min<size_t>(size, json.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, json.data() + offset, count);
    return count;
  };
  std::uint64_t signedTime = 0;
  if (const std::optional<std::string> refusal =
          SignatureRefusal(*key, signatureFile.body, json.size(), readFeed, settings_.product, signedTime)) {
    return CheckResult(UpdateCheckStatus::feedRefused, "feed refused: " + *refusal);
  }
  std::string error;
  const std::optional<Feed> feed = ReadFeed(json, &error);
  if (!feed) return CheckResult(UpdateCheckStatus::feedRefused, "feed refused: " + error);
  if (feed->product != settings_.product) {
    return CheckResult(UpdateCheckStatus::feedRefused, "feed refused: it is the feed of '" + feed->product + "'");
  }
  if (feed->published < 0 || static_cast<std::uint64_t>(feed->published) != signedTime) {
    return CheckResult(UpdateCheckStatus::feedRefused, "feed refused: published " + std::to_string(feed->published) +
                                                           " is not the signed time " + std::to_string(signedTime));
  }

  // A feed older than one already seen is a replay, which would hold the installation back.
  const std::wstring seenPath = StateFile(settings_, L"feed-seen");
  std::string seenText;
  std::optional<std::uint64_t> seen;
  if (ReadSmallFile(seenPath, 64, seenText)) {
    if (!seenText.empty() && seenText.back() == '\n') seenText.pop_back();
    seen = ParseDecimal(seenText, UINT64_MAX);
  }
  if (seen && signedTime < *seen) {
    return CheckResult(UpdateCheckStatus::feedRefused, "feed refused: published " + std::to_string(signedTime) +
                                                           " is older than the feed already seen (" +
                                                           std::to_string(*seen) + ")");
  }
  if ((!seen || signedTime > *seen) &&
      !(EnsureFolder(settings_.stateFolder) && ReplaceFileBytes(seenPath, std::to_string(signedTime) + "\n"))) {
    return CheckResult(UpdateCheckStatus::feedRefused, "cannot keep the feed's time in the state folder");
  }

  const std::uint32_t bucket = InstallationBucket(settings_.stateFolder);
  const FeedRelease* release = PickRelease(*feed, settings_.channel, settings_.installedVersion, bucket);
  if (!release) return CheckResult(UpdateCheckStatus::upToDate, "nothing newer for this installation");

  const FeedPackage* package = &release->full;
  for (const FeedPackage& delta : release->deltas) {
    if (!settings_.installedVersion.empty() && CompareVersions(delta.from, settings_.installedVersion) == 0) {
      package = &delta;
      break;
    }
  }
  const std::optional<std::string> url = ResolveUrl(feedUrl, package->url);
  if (!url || !IsFetchAllowed(*url, settings_.allowPlainHttp)) {
    return CheckResult(UpdateCheckStatus::feedRefused, "the package's address '" + package->url + "' is not allowed");
  }
  chosen_ = Chosen{*url, package->size, package->sha256, feed->published};
  UpdateCheck check = CheckResult(UpdateCheckStatus::available, std::string());
  check.offer = UpdateOffer{release->version, release->notes, package->size, package != &release->full};
  if (RefusedBefore(settings_, package->sha256, feed->published)) check.detail = RefusedDetail(settings_);
  return check;
}

DownloadResult Updater::Download(const std::function<void(std::uint64_t done, std::uint64_t total)>& progress,
                                 const std::atomic<bool>* cancel) {
  if (!chosen_) return DownloadOutcome(DownloadStatus::serverError, "no update offered: Check first");
  const Chosen chosen = *chosen_;
  if (RefusedBefore(settings_, chosen.sha256, chosen.published)) {
    return DownloadOutcome(DownloadStatus::alreadyRefused, RefusedDetail(settings_));
  }
  const std::optional<MinisignKey> key = ParseMinisignKey(settings_.publicKey);
  if (!key) return DownloadOutcome(DownloadStatus::signatureRefused, "the public key is not a minisign public key");
  const std::wstring temp = TempFolder(settings_);
  if (!EnsureFolder(temp)) return DownloadOutcome(DownloadStatus::diskError, "cannot make the temp folder");
  const std::wstring part = temp + L"~pt-download.part";
  const std::wstring meta = temp + L"~pt-download.meta";
  const auto discard = [&] {
    DeleteFileW(part.c_str());
    DeleteFileW(meta.c_str());
  };

  HttpSession http(settings_.timeoutMs);
  const PartResult fetched = DownloadPart(http, PackageRequest{chosen.url, chosen.size, chosen.sha256}, part, meta,
                                          settings_.retries, progress, cancel);
  switch (fetched.status) {
    case PartStatus::complete:
      break;
    case PartStatus::cancelled:
      return DownloadOutcome(DownloadStatus::cancelled, fetched.detail);
    case PartStatus::networkError:
      return DownloadOutcome(DownloadStatus::networkError, fetched.detail);
    case PartStatus::serverError:
      return DownloadOutcome(DownloadStatus::serverError, fetched.detail, fetched.httpStatus);
    case PartStatus::sizeMismatch:
      return DownloadOutcome(DownloadStatus::sizeMismatch, fetched.detail, fetched.httpStatus);
    case PartStatus::diskError:
      return DownloadOutcome(DownloadStatus::diskError, fetched.detail);
  }

  const SmallFile signature = FetchSmallFile(http, SignatureUrl(chosen.url), kMaxSignatureBytes, settings_.retries);
  if (signature.kind == SmallFile::networkError) return DownloadOutcome(DownloadStatus::networkError, signature.detail);
  if (signature.kind == SmallFile::serverError && signature.status >= 500) {
    return DownloadOutcome(DownloadStatus::serverError, signature.detail, signature.status);
  }
  if (signature.kind != SmallFile::fetched) {
    discard();
    return DownloadOutcome(DownloadStatus::signatureRefused, "the package is not signed: " + signature.detail,
                           signature.status);
  }
  const PackageJudgement judgement = JudgePackageFile(part, chosen.sha256, *key, signature.body, settings_.product);
  switch (judgement.verdict) {
    case PackageVerdict::good:
      break;
    case PackageVerdict::hashMismatch:
      discard();
      return DownloadOutcome(DownloadStatus::hashMismatch, judgement.detail);
    case PackageVerdict::signatureRefused:
      discard();
      return DownloadOutcome(DownloadStatus::signatureRefused, judgement.detail);
    case PackageVerdict::unreadable:
      return DownloadOutcome(DownloadStatus::diskError, judgement.detail);
  }

  // The signature goes first: the launcher takes update.zip only with its signature beside it, so
  // an archive never waits in temp beside the signature of another.
  const std::wstring placedSignature = temp + L"update.zip.minisig";
  if (!ReplaceFileBytes(placedSignature, signature.body)) {
    return DownloadOutcome(DownloadStatus::diskError,
                           "cannot place update.zip.minisig: error " + std::to_string(GetLastError()));
  }
  if (!MoveFileExW(part.c_str(), (temp + L"update.zip").c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(placedSignature.c_str());
    return DownloadOutcome(DownloadStatus::diskError, "cannot place update.zip: error " + std::to_string(error));
  }
  DeleteFileW(meta.c_str());
  // A refusal of this new attempt is to be noticed afresh.
  DeleteFileW(StateFile(settings_, L"refusal").c_str());
  return DownloadOutcome(DownloadStatus::placed, std::string());
}

LastOutcome Updater::ReadLastOutcome() const {
  const OutcomeLine line = ReadOutcomeLine(settings_);
  LastOutcome outcome;
  switch (line.kind) {
    case OutcomeLine::none:
      return outcome;
    case OutcomeLine::installed:
      outcome.kind = LastOutcome::installed;
      break;
    case OutcomeLine::refused:
      outcome.kind = LastOutcome::refused;
      break;
  }
  outcome.version = line.version;
  outcome.reason = line.reason;
  outcome.timestamp = line.timestamp;
  return outcome;
}

}  // namespace portico::client
