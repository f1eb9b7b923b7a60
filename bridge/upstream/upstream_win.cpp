// The Windows side of the one connection to the operator: WinHTTP, which
// checks HTTPS certificates against the system's store and takes the
// system's proxy settings. The contract is libcurl's side's: one request per
// fetch, no redirects, the 2 MiB cap, time-outs, and an abort that ends a
// fetch within about a second.
#include "bridge/upstream/upstream.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "bridge/reading/operator_file.h"
#include "bridge/upstream/proxy_env.h"
#include "bridge/upstream/winhttp_support.h"

namespace gw::bridge {

const char kBridgeUserAgent[] = "gridwren-bridge/1.1 (Gridwren usage bridge; one request per refresh)";

namespace {

constexpr int kConnectTimeoutMs = 20 * 1000;
constexpr int kTransferTimeoutMs = 60 * 1000;
constexpr auto kTotalTimeout = std::chrono::seconds(60);
constexpr auto kAbortCheck = std::chrono::milliseconds(200);

struct InternetHandle {
  HINTERNET h = nullptr;
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET handle) : h(handle) {}
  ~InternetHandle() {
    if (h != nullptr) WinHttpCloseHandle(h);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
};

[[noreturn]] void Throw(const std::string& what) {
  throw std::runtime_error(what + ": " + WinHttpErrorText(GetLastError()));
}

}  // namespace

// The session is kept between fetches, and with it WinHTTP's pool of open
// connections.
struct Upstream::Handle {
  std::wstring host, path;
  INTERNET_PORT port = 0;
  bool secure = false;
  EnvironmentProxy proxy;
  InternetHandle session;
  InternetHandle connection;
};

namespace {

void CrackUrl(const std::string& url, Upstream::Handle* h) {
  std::wstring wide = Widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) Throw("cannot read the source URL " + url);
  h->host.assign(parts.lpszHostName, parts.dwHostNameLength);
  h->path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  h->path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (h->path.empty()) h->path = L"/";
  h->port = parts.nPort;
  h->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
}

// The proxy as curl takes it from the environment (https_proxy for an
// https:// source, http_proxy for http://, no_proxy to pass it by), else the
// system's WinHTTP settings (netsh winhttp set proxy).
HINTERNET OpenSession(const Upstream::Handle& h) {
  const std::wstring agent = Widen(kBridgeUserAgent);
  const std::wstring server = Widen(h.proxy.server);
  HINTERNET session =
      server.empty() ? WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0)
                     : WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, server.c_str(), L"", 0);
  if (session == nullptr) Throw("cannot open WinHTTP");
  WinHttpSetTimeouts(session, kConnectTimeoutMs, kConnectTimeoutMs, kTransferTimeoutMs, kTransferTimeoutMs);
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(session, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
  return session;
}

}  // namespace

Upstream::Upstream(std::string url) : url_(std::move(url)), handle_(std::make_unique<Handle>()) {
  CrackUrl(url_, handle_.get());
  handle_->proxy = FindEnvironmentProxy(handle_->secure, Narrow(handle_->host), [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  });
  handle_->session.h = OpenSession(*handle_);
  handle_->connection.h = WinHttpConnect(handle_->session.h, handle_->host.c_str(), handle_->port, 0);
  if (handle_->connection.h == nullptr) Throw("cannot prepare the connection to " + url_);
}

Upstream::~Upstream() = default;

void Upstream::Remember(const Fetched& accepted) {
  etag_ = accepted.etag;
  lastModified_ = accepted.lastModified;
}

namespace {

// Closing a request's handle is WinHTTP's way to end it from another thread;
// the guard closes it when the bridge stops or the whole fetch has taken too
// long, and otherwise leaves the closing to the fetch.
class RequestGuard {
 public:
  RequestGuard(HINTERNET request, const std::atomic<bool>& aborted) : request_(request), aborted_(aborted) {
    watcher_ = std::thread([this] { Watch(); });
  }
  ~RequestGuard() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      done_ = true;
      if (!closedBy_) WinHttpCloseHandle(request_);
    }
    wake_.notify_all();
    watcher_.join();
  }
  // Why the guard ended the request, or null.
  const char* ClosedBy() {
    std::lock_guard<std::mutex> hold(lock_);
    return closedBy_;
  }

 private:
  void Watch() {
    const auto deadline = std::chrono::steady_clock::now() + kTotalTimeout;
    std::unique_lock<std::mutex> hold(lock_);
    while (!done_) {
      wake_.wait_for(hold, kAbortCheck);
      if (done_ || closedBy_) return;
      if (aborted_.load()) closedBy_ = "abandoned: the bridge is stopping";
      else if (std::chrono::steady_clock::now() > deadline) closedBy_ = "the fetch took longer than 60 s";
      if (closedBy_) {
        WinHttpCloseHandle(request_);
        return;
      }
    }
  }

  HINTERNET request_;
  const std::atomic<bool>& aborted_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool done_ = false;
  const char* closedBy_ = nullptr;
  std::thread watcher_;
};

// A login in the proxy's URL is offered when the proxy asks for one.
void SetProxyLogin(HINTERNET request, const EnvironmentProxy& proxy) {
  if (proxy.user.empty()) return;
  std::wstring user = Widen(proxy.user), password = Widen(proxy.password);
  WinHttpSetOption(request, WINHTTP_OPTION_PROXY_USERNAME, user.data(), static_cast<DWORD>(user.size()));
  WinHttpSetOption(request, WINHTTP_OPTION_PROXY_PASSWORD, password.data(), static_cast<DWORD>(password.size()));
}

void AddHeader(HINTERNET request, const std::string& name, const std::string& value) {
  if (value.empty()) return;
  std::wstring line = Widen(name + ": " + value);
  WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
}

DWORD StatusOf(HINTERNET request) {
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  return status;
}

std::string HeaderOf(HINTERNET request, DWORD which) {
  wchar_t value[512];
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value, &size, WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  return Narrow(std::wstring(value, size / sizeof(wchar_t)));
}

// Reads the body, and stops as soon as it passes the cap: never buffered
// whole. Returns false with the system's error when reading failed.
bool ReadBody(HINTERNET request, std::string* body, bool* tooLarge) {
  char chunk[16384];
  for (;;) {
    DWORD got = 0;
    if (!WinHttpReadData(request, chunk, sizeof chunk, &got)) return false;
    if (got == 0) return true;
    if (body->size() + got > kMaxOperatorFileBytes) {
      *tooLarge = true;
      return true;
    }
    body->append(chunk, got);
  }
}

// Sends the request and reads the answer; false with GetLastError() set
// when WinHTTP failed.
bool Exchange(HINTERNET request, Fetched* f, std::string* body, bool* tooLarge) {
  if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request, nullptr)) {
    return false;
  }
  f->status = static_cast<long>(StatusOf(request));
  if (f->status != 200) return true;
  // A length announced over the cap is refused before any of it is read.
  const std::string length = HeaderOf(request, WINHTTP_QUERY_CONTENT_LENGTH);
  if (!length.empty() && std::strtoull(length.c_str(), nullptr, 10) > kMaxOperatorFileBytes) {
    *tooLarge = true;
    return true;
  }
  f->etag = HeaderOf(request, WINHTTP_QUERY_ETAG);
  f->lastModified = HeaderOf(request, WINHTTP_QUERY_LAST_MODIFIED);
  return ReadBody(request, body, tooLarge);
}

// Only a whole 200 answer is a new file; everything else says why not.
void Judge(bool exchanged, DWORD error, const char* closedBy, bool tooLarge, std::string body, Fetched* f) {
  if (closedBy != nullptr) {
    f->error = closedBy;
  } else if (tooLarge) {
    f->error = "the file is larger than 2 MiB";
  } else if (!exchanged) {
    f->error = WinHttpErrorText(error);
  } else if (f->status == 304) {
    f->kind = Fetched::Kind::kNotModified;
  } else if (f->status != 200) {
    f->error = "the source answered HTTP " + std::to_string(f->status);
  } else {
    f->kind = Fetched::Kind::kNew;
    f->body = std::move(body);
    return;
  }
  f->etag.clear();
  f->lastModified.clear();
}

}  // namespace

Fetched Upstream::Fetch() {
  Fetched f;
  const auto start = std::chrono::steady_clock::now();
  HINTERNET request = WinHttpOpenRequest(handle_->connection.h, L"GET", handle_->path.c_str(), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         handle_->secure ? WINHTTP_FLAG_SECURE : 0);
  if (request == nullptr) {
    f.error = WinHttpErrorText(GetLastError());
    return f;
  }
  SetProxyLogin(request, handle_->proxy);
  AddHeader(request, "If-None-Match", etag_);
  AddHeader(request, "If-Modified-Since", lastModified_);
  std::string body;
  bool tooLarge = false, exchanged;
  DWORD error;
  const char* closedBy;
  {
    RequestGuard guard(request, aborted_);
    exchanged = Exchange(request, &f, &body, &tooLarge);
    error = GetLastError();
    closedBy = guard.ClosedBy();
  }
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Judge(exchanged, error, closedBy, tooLarge, std::move(body), &f);
  return f;
}

}  // namespace gw::bridge
