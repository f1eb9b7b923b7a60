// What the bridge answers to a request, decided apart from the sockets: the
// method, the target (plain `/path` or a proxy's absolute `http://host/path`)
// and the login decide, and the answer comes from the snapshot held. Nothing
// here ever contacts the host a proxy-style request names: the bridge serves
// its own documents by path and refuses everything else.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "bridge/cache/cache.h"
#include "bridge/cache/metrics.h"
#include "bridge/cache/served_areas.h"
#include "bridge/cache/source_documents.h"
#include "bridge/serving/login.h"

namespace gw::bridge {

struct Target {
  bool valid = false;
  bool proxyStyle = false;  // an absolute URI, as sent to a proxy
  std::string_view path;    // without the query
};

Target ParseTarget(std::string_view target);
Route RouteOf(std::string_view path);

// A per-area path, /areas/NAME/latest.json, /areas/NAME/meter.gif,
// /areas/NAME/day.gif, /areas/NAME/forecast.json or the area's page
// /areas/NAME/: its route, and the name in `area`. kOther otherwise.
Route AreaRouteOf(std::string_view path, std::string_view* area);

struct Request {
  std::string_view method;
  std::string_view target;
  std::string_view authorization = {};       // the Authorization header, if any
  std::string_view proxyAuthorization = {};  // the Proxy-Authorization header, if any
  std::string_view host = {};                // the Host header, if any: named on the status page
};

class Reply {
 public:
  Route route = Route::kOther;
  bool close = false;  // end the connection after this answer
  const Answer& answer() const { return ownsAnswer_ ? owned_ : *answer_; }
  void Point(const Answer* answer, std::shared_ptr<const Snapshot> keep = nullptr);
  void Own(Answer answer);

 private:
  const Answer* answer_ = nullptr;
  std::shared_ptr<const Snapshot> keep_;  // holds the bytes `answer_` points into
  Answer owned_;
  bool ownsAnswer_ = false;
};

// One listener's answers: the plug-in's three documents are those of its
// home area (a place in the served areas); the per-area API, /healthz and
// /metrics cover every served area.
class Responder {
 public:
  // `login` may be null (no login); it must outlive the responder.
  Responder(Metrics& metrics, const Login* login, int64_t maxAgeSeconds, size_t homeArea = 0)
      : metrics_(metrics), login_(login), maxAge_(maxAgeSeconds), home_(homeArea) {}

  void Respond(const Request& request, AreaViews& views, int64_t now, Reply* reply) const;

 private:
  void Guide(const Target& target, Reply* reply) const;
  bool LoggedIn(const Request& request) const;
  void Document(Route route, size_t area, AreaViews& views, int64_t now, Reply* reply) const;
  Answer Health(AreaViews& views, int64_t now) const;
  Answer AreasJson(AreaViews& views, int64_t now) const;
  Answer Forecast(AreaViews& views, size_t area, int64_t now) const;
  Answer Page(const Request& request, AreaViews& views, size_t area, int64_t now) const;
  std::string MetricsText(AreaViews& views, int64_t now) const;

  Metrics& metrics_;
  const Login* login_;
  int64_t maxAge_;
  size_t home_;
};

// Answers for requests that never reach the responder: a request the HTTP
// parser refused, with the status it deserves (431 for one too large, else
// 400). The connection is closed after them.
const Answer& ParseFailureAnswer(int status);

}  // namespace gw::bridge
