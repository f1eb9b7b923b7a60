#include "bridge/serving/responder.h"

#include "bridge/cache/documents.h"

namespace gw::bridge {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view WithoutQuery(std::string_view path) { return path.substr(0, path.find_first_of("?#")); }

const Answer kProxyRefused = MakeAnswer(
    403, kTextType, "gridwren-bridge serves only its own documents and forwards nothing: not an open proxy\n");
const Answer kConnectRefused =
    MakeAnswer(403, kTextType, "gridwren-bridge opens no tunnels (CONNECT): not an open proxy\n");
const Answer kNotFound = MakeAnswer(404, kTextType, "not found: gridwren-bridge serves /latest.json, "
                                                    "the two graph images, /healthz and /metrics\n");
const Answer kMethodRefused =
    MakeAnswer(405, kTextType, "only GET and HEAD are served\n", "Allow: GET, HEAD\r\n");
const Answer kBadRequest = MakeAnswer(400, kTextType, "bad request\n");
const Answer kProxyLogin = MakeAnswer(407, kTextType, "this bridge needs a login (proxy user and password)\n",
                                      "Proxy-Authenticate: Basic realm=\"gridwren-bridge\", charset=\"UTF-8\"\r\n");
const Answer kServerLogin = MakeAnswer(401, kTextType, "this bridge needs a login (user and password)\n",
                                       "WWW-Authenticate: Basic realm=\"gridwren-bridge\", charset=\"UTF-8\"\r\n");

const Answer* Document(const Snapshot& s, Route route) {
  switch (route) {
    case Route::kLatest: return &s.latest;
    case Route::kMeter: return &s.meter;
    case Route::kChart: return &s.chart;
    default: return &s.health;
  }
}

// Refusals after which the connection cannot be trusted to carry another
// request: a tunnel's data or an unknown method's body may follow.
void Closing(Reply* reply, const Answer* answer) {
  reply->close = true;
  reply->Point(answer);
}

}  // namespace

Target ParseTarget(std::string_view target) {
  Target t;
  if (!target.empty() && target[0] == '/') {
    t.valid = true;
    t.path = WithoutQuery(target);
    return t;
  }
  // An absolute URI: the host it names is ignored, never contacted.
  for (std::string_view scheme : {"http://", "https://"}) {
    if (!StartsWithNoCase(target, scheme)) continue;
    std::string_view rest = target.substr(scheme.size());
    size_t slash = rest.find_first_of("/?#");
    t.valid = slash != 0;
    t.proxyStyle = true;
    t.path = slash == std::string_view::npos || rest[slash] != '/' ? "/" : WithoutQuery(rest.substr(slash));
    return t;
  }
  return t;
}

Route RouteOf(std::string_view path) {
  for (Route r : {Route::kLatest, Route::kMeter, Route::kChart, Route::kHealth, Route::kMetrics}) {
    if (path == RoutePath(r)) return r;
  }
  return Route::kOther;
}

void Reply::Point(const Answer* answer, std::shared_ptr<const Snapshot> keep) {
  answer_ = answer;
  keep_ = std::move(keep);
  ownsAnswer_ = false;
}

void Reply::Own(Answer answer) {
  owned_ = std::move(answer);
  ownsAnswer_ = true;
}

bool Responder::LoggedIn(const Request& request) const {
  // Both headers carry the same login; each client sends the one it knows.
  // Both are always checked so that a refusal takes the same time.
  bool proxy = login_->Accepts(request.proxyAuthorization);
  bool server = login_->Accepts(request.authorization);
  return proxy || server;
}

void Responder::Respond(const Request& request, const std::shared_ptr<const Snapshot>& snapshot, int64_t now,
                        Reply* reply) const {
  reply->close = false;
  reply->route = Route::kOther;
  if (request.method == "CONNECT") return Closing(reply, &kConnectRefused);
  if (request.method != "GET" && request.method != "HEAD") return Closing(reply, &kMethodRefused);
  Target target = ParseTarget(request.target);
  if (!target.valid) return Closing(reply, &kBadRequest);
  reply->route = RouteOf(target.path);
  if (login_ != nullptr && reply->route != Route::kHealth && !LoggedIn(request)) {
    return reply->Point(target.proxyStyle ? &kProxyLogin : &kServerLogin);
  }
  if (reply->route == Route::kOther) return reply->Point(target.proxyStyle ? &kProxyRefused : &kNotFound);
  if (reply->route == Route::kMetrics) return reply->Own(MakeAnswer(200, "text/plain; version=0.0.4; charset=utf-8",
                                                                    metrics_.Render(snapshot.get(), now)));
  const bool latest = reply->route == Route::kLatest;
  if (!snapshot) return reply->Point(latest ? &NoReadingLatest() : &NoReadingOther());
  if (now - snapshot->readingTime > maxAge_) {
    return reply->Point(latest ? &snapshot->staleLatest : &snapshot->staleOther, snapshot);
  }
  reply->Point(Document(*snapshot, reply->route), snapshot);
}

const Answer& ParseFailureAnswer(int status) {
  static const Answer kTooLarge =
      MakeAnswer(431, kTextType, "the request line and headers exceed 16 KiB\n");
  return status == 431 ? kTooLarge : kBadRequest;
}

}  // namespace gw::bridge
