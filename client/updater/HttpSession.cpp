#include "HttpSession.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>

#include "UpdaterText.h"
#include "Utf8.h"

namespace portico::client::updater {
namespace {

constexpr DWORD kReadPiece = 64 * 1024;

std::optional<std::wstring> QueryText(HINTERNET request, DWORD query) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0 || bytes > 4096) return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                           WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

HttpAnswer NetworkFailure() {
  HttpAnswer answer;
  answer.end = HttpEnd::networkError;
  answer.error = GetLastError();
  return answer;
}

}  // namespace

HttpSession::HttpSession(unsigned timeoutMs) : timeout_(std::min<unsigned>(timeoutMs, 0x7fffffff)) {
  // The automatic proxy (WPAD and the user's settings) is Windows 8.1's; before it, and under Wine,
  // the open is refused and the WinHTTP proxy configured with netsh is taken.
  session_.reset(WinHttpOpen(L"PorticoUpdater/1", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session_) {
    session_.reset(WinHttpOpen(L"PorticoUpdater/1", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
  }
  if (session_) {
    const int timeout = static_cast<int>(timeout_);
    WinHttpSetTimeouts(session_.get(), timeout, timeout, timeout, timeout);
  }
}

HttpAnswer HttpSession::Get(const std::string& url, std::uint64_t rangeFrom,
                            const std::function<bool(const HttpHead&)>& onHead,
                            const std::function<bool(const char*, size_t)>& onBody, const std::atomic<bool>* cancel) {
  if (!session_) return NetworkFailure();
  const std::wstring wideUrl = Widened(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) return NetworkFailure();
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
  object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (object.empty()) object = L"/";

  portico::WinHttpHandle connection(WinHttpConnect(session_.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return NetworkFailure();
  portico::WinHttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                    parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return NetworkFailure();
  // The wait for the answer's headers has a timeout of its own, which WinHttpSetTimeouts leaves at
  // 90 s on Windows and unbounded under Wine: a server that accepts and stays silent would hold us.
  DWORD headerTimeout = timeout_;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerTimeout, sizeof(headerTimeout));
  if (rangeFrom != 0) {
    const std::wstring range = L"Range: bytes=" + std::to_wstring(rangeFrom) + L"-";
    if (!WinHttpAddRequestHeaders(request.get(), range.c_str(), static_cast<DWORD>(range.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD)) {
      return NetworkFailure();
    }
  }
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return NetworkFailure();
  }

  HttpAnswer answer;
  DWORD status = 0;
  DWORD statusBytes = sizeof(status);
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusBytes, WINHTTP_NO_HEADER_INDEX)) {
    return NetworkFailure();
  }
  answer.head.status = static_cast<int>(status);
  if (const std::optional<std::wstring> length = QueryText(request.get(), WINHTTP_QUERY_CONTENT_LENGTH)) {
    answer.head.contentLength = ParseDecimal(Narrowed(*length), UINT64_MAX);
  }
  if (const std::optional<std::wstring> range = QueryText(request.get(), WINHTTP_QUERY_CONTENT_RANGE)) {
    answer.head.contentRange = Narrowed(*range);
  }
  if (!onHead(answer.head)) {
    answer.end = HttpEnd::stoppedByReader;
    return answer;
  }
  std::string piece(kReadPiece, '\0');
  for (;;) {
    if (cancel && cancel->load()) {
      answer.end = HttpEnd::cancelled;
      return answer;
    }
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), piece.data(), kReadPiece, &read)) {
      const HttpHead head = answer.head;
      answer = NetworkFailure();
      answer.head = head;
      return answer;
    }
    if (read == 0) break;
    if (!onBody(piece.data(), read)) {
      answer.end = HttpEnd::stoppedByReader;
      return answer;
    }
  }
  answer.end = HttpEnd::complete;
  return answer;
}

void PauseBeforeRetry(int attempt) {
  const DWORD pause = 250u << std::min(attempt - 1, 4);
  Sleep(std::min<DWORD>(pause, 4000));
}

std::string NetworkErrorText(const HttpAnswer& answer, const std::string& url) {
  return "network error " + std::to_string(answer.error) + " fetching " + url;
}

SmallFile FetchSmallFile(HttpSession& http, const std::string& url, size_t limit, int retries) {
  SmallFile file;
  for (int attempt = 0;; ++attempt) {
    if (attempt > 0) PauseBeforeRetry(attempt);
    file = SmallFile();
    bool tooLarge = false;
    const HttpAnswer answer = http.Get(
        url, 0,
        [&](const HttpHead& head) {
          file.status = head.status;
          if (head.status != 200) return false;
          if (head.contentLength && *head.contentLength > limit) tooLarge = true;
          return !tooLarge;
        },
        [&](const char* data, size_t size) {
          if (size > limit - file.body.size()) {
            tooLarge = true;
            return false;
          }
          file.body.append(data, size);
          return true;
        },
        nullptr);
    if (tooLarge) {
      file.kind = SmallFile::tooLarge;
      file.body.clear();
      file.detail = url + " is larger than " + std::to_string(limit) + " bytes";
      return file;
    }
    if (answer.end == HttpEnd::complete) {
      file.kind = SmallFile::fetched;
      return file;
    }
    if (answer.end == HttpEnd::networkError) {
      file.kind = SmallFile::networkError;
      file.detail = NetworkErrorText(answer, url);
    } else {
      file.kind = SmallFile::serverError;
      file.detail = "HTTP " + std::to_string(file.status) + " fetching " + url;
    }
    file.body.clear();
    if (!IsWorthRetrying(answer) || attempt >= retries) return file;
  }
}

}  // namespace portico::client::updater
