#pragma once
// GET over WinHTTP with the system's proxy and the caller's timeouts, and the retry policy: network
// errors and 5xx answers are tried again after a growing pause, 4xx answers are not.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "WinHandles.h"

namespace portico::client::updater {

struct HttpHead {
  int status = 0;
  std::optional<std::uint64_t> contentLength;
  std::string contentRange;
};

enum class HttpEnd { complete, networkError, cancelled, stoppedByReader };

struct HttpAnswer {
  HttpEnd end = HttpEnd::networkError;
  HttpHead head;
  unsigned long error = 0;  // WinHTTP's error of a network failure
};

class HttpSession {
 public:
  explicit HttpSession(unsigned timeoutMs);

  // One GET of an absolute address, from byte `rangeFrom` on when that is not 0. `onHead` decides
  // whether the body is read; `onBody` takes it piece by piece and may stop it.
  HttpAnswer Get(const std::string& url, std::uint64_t rangeFrom, const std::function<bool(const HttpHead&)>& onHead,
                 const std::function<bool(const char*, size_t)>& onBody, const std::atomic<bool>* cancel);

 private:
  unsigned long timeout_;
  portico::WinHttpHandle session_;
};

// The pause before retry `attempt` (1, 2...): a quarter second, doubling, at most four seconds.
void PauseBeforeRetry(int attempt);

inline bool IsWorthRetrying(const HttpAnswer& answer) {
  return answer.end == HttpEnd::networkError || answer.head.status >= 500;
}

// A small file fetched whole: 200 with at most `limit` bytes.
struct SmallFile {
  enum Kind { fetched, networkError, serverError, tooLarge } kind = networkError;
  int status = 0;
  std::string body;
  std::string detail;
};
SmallFile FetchSmallFile(HttpSession& http, const std::string& url, size_t limit, int retries);

// "network error 12002 fetching <url>" and the like.
std::string NetworkErrorText(const HttpAnswer& answer, const std::string& url);

}  // namespace portico::client::updater
