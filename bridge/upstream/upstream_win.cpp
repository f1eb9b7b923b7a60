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
#include <stdexcept>

#include "bridge/reading/areas.h"
#include "bridge/reading/operator_file.h"
#include "bridge/upstream/proxy_env.h"
#include "bridge/upstream/winhttp_exchange.h"
#include "bridge/upstream/winhttp_support.h"

namespace gw::bridge {

const char kBridgeUserAgent[] = "gridwren-bridge/1.1 (Gridwren usage bridge; one request per refresh)";
const char kUnaskedNotModified[] =
    "the source answered 304 Not Modified to a request without validators: it sent no file to read";

namespace {

constexpr int kConnectTimeoutMs = 20 * 1000;
constexpr int kTransferTimeoutMs = 60 * 1000;
constexpr auto kTotalTimeout = std::chrono::seconds(60);

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
  if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) Throw("cannot read the source URL " + ShownSource(url));
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
                                   WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC)
                     : WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, server.c_str(), L"",
                                   WINHTTP_FLAG_ASYNC);
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
  if (handle_->connection.h == nullptr) Throw("cannot prepare the connection to " + ShownSource(url_));
}

Upstream::~Upstream() = default;

void Upstream::Remember(const Fetched& accepted) {
  etag_ = accepted.etag;
  lastModified_ = accepted.lastModified;
}

namespace {

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

// Only a whole 200 answer is a new file, and a 304 an unchanged one only
// when this fetch sent validators for it to answer; everything else says
// why not.
void Judge(ExchangeResult r, bool validatorsSent, Fetched* f) {
  f->status = r.status;
  if (r.endedBy != nullptr) {
    f->error = r.endedBy;
  } else if (r.tooLarge) {
    f->error = "the file is larger than 2 MiB";
  } else if (!r.answered) {
    f->error = WinHttpErrorText(r.error);
  } else if (r.status == 304) {
    if (validatorsSent) f->kind = Fetched::Kind::kNotModified;
    else f->error = kUnaskedNotModified;
  } else if (r.status != 200) {
    f->error = "the source answered HTTP " + std::to_string(r.status);
  } else {
    f->kind = Fetched::Kind::kNew;
    f->body = std::move(r.body);
    f->etag = std::move(r.etag);
    f->lastModified = std::move(r.lastModified);
  }
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
  Judge(RunExchange(request, aborted_, kTotalTimeout), !etag_.empty() || !lastModified_.empty(), &f);
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return f;
}

}  // namespace gw::bridge
