#include "bridge/serving/responder.h"

#include "bridge/cache/documents.h"
#include "bridge/cache/forecast_documents.h"
#include "bridge/serving/guide.h"
#include "bridge/serving/page_headers.h"
#include "bridge/serving/status_page.h"

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
const Answer kNotFound = MakeAnswer(404, kTextType, "not found: gridwren-bridge serves its status page /, "
                                                    "/latest.json, the two graph images, /healthz, /metrics, "
                                                    "/areas.json and /areas/NAME/ (with forecast.json) of each area it "
                                                    "serves\n");
const Answer kMethodRefused =
    MakeAnswer(405, kTextType, "only GET and HEAD are served\n", "Allow: GET, HEAD\r\n");
const Answer kBadRequest = MakeAnswer(400, kTextType, "bad request\n");
const Answer kProxyLogin = MakeAnswer(407, kTextType, "this bridge needs a login (proxy user and password)\n",
                                      "Proxy-Authenticate: Basic realm=\"gridwren-bridge\", charset=\"UTF-8\"\r\n");
// A browser asks its user for the login of the realm "Gridwren", and the
// answer shows no figure until it is given.
const Answer kServerLogin = MakeAnswer(401, kTextType, "this bridge needs a login (user and password)\n"
                                       "このブリッジを見るにはユーザー名とパスワードが必要です。\n",
                                       "WWW-Authenticate: Basic realm=\"Gridwren\", charset=\"UTF-8\"\r\n");

#ifndef GW_BRIDGE_VERSION
#error "the build gives the bridge its version as GW_BRIDGE_VERSION"
#endif

const Answer* DocumentOf(const Snapshot& s, Route route) {
  switch (route) {
    case Route::kLatest: case Route::kAreaLatest: return &s.latest;
    case Route::kMeter: case Route::kAreaMeter: return &s.meter;
    default: return &s.chart;
  }
}

// The plug-in's own documents, or their twins under /areas/NAME/.
bool IsLatest(Route route) { return route == Route::kLatest || route == Route::kAreaLatest; }
bool IsPage(Route route) { return route == Route::kPage || route == Route::kAreaPage; }

constexpr std::string_view kAreasPrefix = "/areas/";

// "/guide" and "/areas/NAME", as people type them: the route of the folder
// they name, which is answered by a redirect to its path with the slash.
Route SlashlessRouteOf(std::string_view path, std::string_view* area) {
  if (path == kGuidePath.substr(0, kGuidePath.size() - 1)) return Route::kGuide;
  if (path.substr(0, kAreasPrefix.size()) != kAreasPrefix) return Route::kOther;
  const std::string_view name = path.substr(kAreasPrefix.size());
  if (name.empty() || name.find('/') != std::string_view::npos) return Route::kOther;
  *area = name;
  return Route::kAreaPage;
}

// The query is left behind: the pages take none, and only the bridge's own
// paths are written into the header.
Answer SlashRedirect(std::string_view path) {
  const std::string location = std::string(path) + "/";
  return MakeAnswer(308, kTextType, "moved to " + location + "\n", "Location: " + location + "\r\n");
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
  for (Route r : {Route::kLatest, Route::kMeter, Route::kChart, Route::kHealth, Route::kMetrics, Route::kAreas,
                  Route::kPage}) {
    if (path == RoutePath(r)) return r;
  }
  if (path.substr(0, kGuidePath.size()) == kGuidePath) return Route::kGuide;
  return Route::kOther;
}

Route AreaRouteOf(std::string_view path, std::string_view* area) {
  if (path.substr(0, kAreasPrefix.size()) != kAreasPrefix) return Route::kOther;
  const std::string_view rest = path.substr(kAreasPrefix.size());
  const size_t slash = rest.find('/');
  if (slash == 0 || slash == std::string_view::npos) return Route::kOther;
  *area = rest.substr(0, slash);
  const std::string_view file = rest.substr(slash + 1);
  if (file == "latest.json") return Route::kAreaLatest;
  if (file == "meter.gif") return Route::kAreaMeter;
  if (file == "day.gif") return Route::kAreaChart;
  if (file == "forecast.json") return Route::kAreaForecast;
  if (file.empty()) return Route::kAreaPage;
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

// The guide is for a browser that asks the bridge itself: one that uses the
// bridge as its proxy must not see it stand in for another site's /guide/.
void Responder::Guide(const Target& target, Reply* reply) const {
  const Answer* page = target.proxyStyle ? nullptr : GuideAnswer(target.path);
  if (page == nullptr) return reply->Point(target.proxyStyle ? &kProxyRefused : &kNotFound);
  reply->Point(page);
}

bool Responder::LoggedIn(const Request& request) const {
  // Both headers carry the same login; each client sends the one it knows.
  // Both are always checked so that a refusal takes the same time.
  bool proxy = login_->Accepts(request.proxyAuthorization);
  bool server = login_->Accepts(request.authorization);
  return proxy || server;
}

void Responder::Respond(const Request& request, AreaViews& views, int64_t now, Reply* reply) const {
  reply->close = false;
  reply->route = Route::kOther;
  if (request.method == "CONNECT") return Closing(reply, &kConnectRefused);
  if (request.method != "GET" && request.method != "HEAD") return Closing(reply, &kMethodRefused);
  Target target = ParseTarget(request.target);
  if (!target.valid) return Closing(reply, &kBadRequest);
  std::string_view areaName;
  reply->route = RouteOf(target.path);
  if (reply->route == Route::kOther) reply->route = AreaRouteOf(target.path, &areaName);
  bool slashless = false;
  if (reply->route == Route::kOther) {
    reply->route = SlashlessRouteOf(target.path, &areaName);
    slashless = reply->route != Route::kOther;
  }
  // The page is for a browser that asks the bridge itself. One that uses
  // the bridge as its proxy must not see it stand in for another site.
  if (IsPage(reply->route) && target.proxyStyle) reply->route = Route::kOther;
  if (login_ != nullptr && reply->route != Route::kHealth && !LoggedIn(request)) {
    return reply->Point(target.proxyStyle ? &kProxyLogin : &kServerLogin);
  }
  size_t area = home_;
  if (!areaName.empty()) area = views.areas().Find(areaName);
  if (reply->route == Route::kOther) return reply->Point(target.proxyStyle ? &kProxyRefused : &kNotFound);
  if (area == ServedAreas::kNone) return reply->Point(&kNotFound);
  if (slashless) return target.proxyStyle ? reply->Point(&kProxyRefused) : reply->Own(SlashRedirect(target.path));
  switch (reply->route) {
    case Route::kGuide: return Guide(target, reply);
    case Route::kMetrics:
      return reply->Own(MakeAnswer(200, "text/plain; version=0.0.4; charset=utf-8", MetricsText(views, now)));
    case Route::kHealth: return reply->Own(Health(views, now));
    case Route::kAreas: return reply->Own(AreasJson(views, now));
    case Route::kPage: return reply->Own(Page(request, views, ServedAreas::kNone, now));
    case Route::kAreaPage: return reply->Own(Page(request, views, area, now));
    case Route::kAreaForecast: return reply->Own(Forecast(views, area, now));
    default: return Document(reply->route, area, views, now, reply);
  }
}

void Responder::Document(Route route, size_t area, AreaViews& views, int64_t now, Reply* reply) const {
  const std::shared_ptr<const Snapshot>& snapshot = views.Get(area);
  SourceView view{snapshot.get(), nullptr, now, maxAge_};
  // After midnight the graphs still show the held reading (the status page
  // shows them beside it); only the plug-in's reading is held back.
  if (IsLatest(route) ? view.Offered() : view.Fresh()) return reply->Point(DocumentOf(*snapshot, route), snapshot);
  // The status is read only here: a served document costs no more than before.
  const std::shared_ptr<const SourceStatus> status = views.areas().cache(area).Status();
  view.status = status.get();
  reply->Own(UnservedAnswer(view, IsLatest(route)));
}

// Drawn on each request: which of the held forecasts is today's depends on
// the time of the request, not of the file.
Answer Responder::Forecast(AreaViews& views, size_t area, int64_t now) const {
  const std::shared_ptr<const SourceStatus> status = views.areas().cache(area).Status();
  return ForecastAnswer(views.areas().area(area), SourceView{views.Get(area).get(), status.get(), now, maxAge_});
}

// 200 only while every served area offers a fresh reading, or holds one
// back after midnight while it awaits the new day as expected; one line per
// area, saying also when a fresh reading is still served although its
// source failed ("degraded").
Answer Responder::Health(AreaViews& views, int64_t now) const {
  bool healthy = true;
  std::string text;
  for (size_t i = 0; i < views.areas().size(); ++i) {
    const std::shared_ptr<const SourceStatus> status = views.areas().cache(i).Status();
    const SourceView view{views.Get(i).get(), status.get(), now, maxAge_};
    healthy = healthy && view.Healthy();
    text += std::string(views.areas().area(i).name) + ": " + HealthLine(view) + "\n";
  }
  return MakeAnswer(healthy ? 200 : 503, kTextType, std::move(text));
}

Answer Responder::AreasJson(AreaViews& views, int64_t now) const {
  std::string body = "{";
  for (size_t i = 0; i < views.areas().size(); ++i) {
    const Area& area = views.areas().area(i);
    const std::shared_ptr<const SourceStatus> status = views.areas().cache(i).Status();
    const SourceView view{views.Get(i).get(), status.get(), now, maxAge_};
    body += (i ? ",\n " : "") + JsonString(area.name) + ": " + AreaEntryJson(area, view);
  }
  return MakeAnswer(200, kJsonType, body + "}\n");
}

// Every served area, or only the one at `area`.
Answer Responder::Page(const Request& request, AreaViews& views, size_t area, int64_t now) const {
  std::vector<std::shared_ptr<const SourceStatus>> statuses;  // held while the page is drawn
  std::vector<PageArea> shown;
  for (size_t i = 0; i < views.areas().size(); ++i) {
    if (area != ServedAreas::kNone && i != area) continue;
    statuses.push_back(views.areas().cache(i).Status());
    shown.push_back({&views.areas().area(i), views.Get(i).get(), statuses.back().get()});
  }
  PageContext context;
  context.now = now;
  context.maxAgeSeconds = maxAge_;
  context.version = GW_BRIDGE_VERSION;
  context.host = request.host;
  context.home = &views.areas().area(home_);
  context.login = login_ != nullptr;
  context.oneArea = area != ServedAreas::kNone;
  return MakeAnswer(200, "text/html; charset=utf-8", StatusPage(shown, context), kPageHeaders);
}

std::string Responder::MetricsText(AreaViews& views, int64_t now) const {
  std::vector<AreaReading> areas;
  std::vector<std::shared_ptr<const SourceStatus>> statuses;
  for (size_t i = 0; i < views.areas().size(); ++i) {
    statuses.push_back(views.areas().cache(i).Status());
    const SourceView view{views.Get(i).get(), statuses.back().get(), now, maxAge_};
    areas.push_back(
        {&views.areas().area(i), view.snapshot, view.Shown(), view.IsDegraded(), view.Since(), view.Fresh()});
  }
  return metrics_.Render(areas, now);
}

const Answer& ParseFailureAnswer(int status) {
  static const Answer kTooLarge =
      MakeAnswer(431, kTextType, "the request line and headers exceed 16 KiB\n");
  return status == 431 ? kTooLarge : kBadRequest;
}

}  // namespace gw::bridge
