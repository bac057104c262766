#include "DownloadFile.h"

#include <windows.h>

#include <optional>

#include "StateFiles.h"
#include "UpdaterText.h"
#include "WinHandles.h"

namespace portico::client::updater {
namespace {

bool Truncate(HANDLE file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

PartResult Failed(PartStatus status, std::string detail, int httpStatus = 0) {
  return PartResult{status, httpStatus, std::move(detail)};
}

}  // namespace

PartResult DownloadPart(HttpSession& http, const PackageRequest& package, const std::wstring& partPath,
                        const std::wstring& metaPath, int retries, const Progress& progress,
                        const std::atomic<bool>* cancel) {
  const std::string meta = DownloadMeta(package.url, package.size, package.sha256);
  std::string keptMeta;
  const bool resumable = ReadSmallFile(metaPath, 64 * 1024, keptMeta) && keptMeta == meta;
  portico::FileHandle part(CreateFileW(partPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       resumable ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!part)
    return Failed(PartStatus::diskError, "cannot open the partial download: error " + std::to_string(GetLastError()));
  if (!resumable && !ReplaceFileBytes(metaPath, meta)) {
    return Failed(PartStatus::diskError, "cannot write the partial download's description");
  }
  LARGE_INTEGER kept{};
  if (!GetFileSizeEx(part.get(), &kept)) return Failed(PartStatus::diskError, "cannot read the partial download");
  std::uint64_t have = static_cast<std::uint64_t>(kept.QuadPart);
  if (have > package.size) {
    if (!Truncate(part.get())) return Failed(PartStatus::diskError, "cannot restart the partial download");
    have = 0;
  }
  const auto discard = [&](PartStatus status, std::string detail, int httpStatus) {
    part.reset();
    DeleteFileW(partPath.c_str());
    DeleteFileW(metaPath.c_str());
    return Failed(status, std::move(detail), httpStatus);
  };

  bool restartedOnce = false;
  PartResult last = Failed(PartStatus::networkError, "no attempt");
  for (int attempt = 0; have < package.size; ++attempt) {
    if (cancel && cancel->load()) return Failed(PartStatus::cancelled, "cancelled");
    if (attempt > retries) return last;
    if (attempt > 0) PauseBeforeRetry(attempt);
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(have);
    if (!SetFilePointerEx(part.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(part.get())) {
      return Failed(PartStatus::diskError, "cannot seek in the partial download");
    }

    std::optional<PartResult> stop;  // why the reader stopped the body
    bool restart = false;            // the server answered 416 to a range the part asked for
    const std::uint64_t from = have;
    const HttpAnswer answer = http.Get(
        package.url, from,
        [&](const HttpHead& head) {
          if (head.status == 206 && from != 0) {
            const std::optional<ContentRange> range = ParseContentRange(head.contentRange);
            if (!range || range->first != from || range->total != package.size) {
              stop = Failed(PartStatus::sizeMismatch,
                            "the server's range '" + head.contentRange + "' is not bytes " + std::to_string(from) +
                                "- of " + std::to_string(package.size),
                            head.status);
              return false;
            }
            return true;
          }
          if (head.status == 200) {
            if (head.contentLength && *head.contentLength != package.size) {
              stop = Failed(PartStatus::sizeMismatch,
                            "the server sends " + std::to_string(*head.contentLength) + " bytes, the feed says " +
                                std::to_string(package.size),
                            head.status);
              return false;
            }
            // The whole package again: a server that ignores ranges.
            if (from != 0 && !Truncate(part.get())) {
              stop = Failed(PartStatus::diskError, "cannot restart the partial download");
              return false;
            }
            have = 0;
            return true;
          }
          if (head.status == 416 && from != 0 && !restartedOnce) {
            restart = true;
            return false;
          }
          stop = Failed(PartStatus::serverError, "HTTP " + std::to_string(head.status) + " fetching " + package.url,
                        head.status);
          return false;
        },
        [&](const char* data, size_t size) {
          if (size > package.size - have) {
            stop = Failed(PartStatus::sizeMismatch,
                          "the server sends more than the feed's " + std::to_string(package.size) + " bytes");
            return false;
          }
          DWORD written = 0;
          if (!WriteFile(part.get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
            stop = Failed(PartStatus::diskError,
                          "cannot write the partial download: error " + std::to_string(GetLastError()));
            return false;
          }
          have += size;
          if (progress) progress(have, package.size);
          return true;
        },
        cancel);

    if (answer.end == HttpEnd::cancelled) return Failed(PartStatus::cancelled, "cancelled");
    if (restart) {
      restartedOnce = true;
      if (!Truncate(part.get())) return Failed(PartStatus::diskError, "cannot restart the partial download");
      have = 0;
      --attempt;
      continue;
    }
    if (stop) {
      if (stop->status == PartStatus::sizeMismatch) return discard(stop->status, stop->detail, stop->httpStatus);
      if (stop->status != PartStatus::serverError || stop->httpStatus < 500) return *stop;
      last = *stop;
      continue;
    }
    if (answer.end == HttpEnd::networkError) {
      last = Failed(PartStatus::networkError, NetworkErrorText(answer, package.url));
    } else if (have < package.size) {
      last = Failed(PartStatus::networkError, "the connection ended after " + std::to_string(have) + " of " +
                                                  std::to_string(package.size) + " bytes");
    }
  }
  if (!FlushFileBuffers(part.get())) return Failed(PartStatus::diskError, "cannot flush the download");
  return PartResult{PartStatus::complete, 0, std::string()};
}

}  // namespace portico::client::updater
