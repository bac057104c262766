#pragma once
// A package brought whole into temp\~pt-download.part, resumed with HTTP Range from what an earlier
// attempt left there, as long as temp\~pt-download.meta names the same package.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "HttpSession.h"

namespace portico::client::updater {

struct PackageRequest {
  std::string url;  // absolute
  std::uint64_t size = 0;
  std::string sha256;
};

enum class PartStatus { complete, cancelled, networkError, serverError, sizeMismatch, diskError };

struct PartResult {
  PartStatus status = PartStatus::networkError;
  int httpStatus = 0;
  std::string detail;
};

using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// A part that cannot belong to the package (a longer body, another total) is deleted with its meta;
// one cut short by the network or a cancel is kept for the next call.
PartResult DownloadPart(HttpSession& http, const PackageRequest& package, const std::wstring& partPath,
                        const std::wstring& metaPath, int retries, const Progress& progress,
                        const std::atomic<bool>* cancel);

}  // namespace portico::client::updater
