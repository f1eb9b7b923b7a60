#include "bridge/cache/metrics.h"

#include <algorithm>

#include "bridge/cache/cache.h"
#include "bridge/cache/grid_metrics.h"
#include "bridge/log/event_log.h"

namespace gw::bridge {

const char* RoutePath(Route route) {
  switch (route) {
    case Route::kGuide: return "/guide/";  // the page and its pictures
    case Route::kLatest: return "/latest.json";
    case Route::kMeter: return "/images/meter/meter_setsuden.gif";
    case Route::kChart: return "/forecast/html/images/juyo-j.gif";
    case Route::kHealth: return "/healthz";
    case Route::kMetrics: return "/metrics";
    case Route::kAreas: return "/areas.json";
    case Route::kAreaLatest: return "/areas/{area}/latest.json";
    case Route::kAreaMeter: return "/areas/{area}/meter.gif";
    case Route::kAreaChart: return "/areas/{area}/day.gif";
    case Route::kAreaForecast: return "/areas/{area}/forecast.json";
    case Route::kPage: return "/";
    case Route::kAreaPage: return "/areas/{area}/";
    case Route::kOther: break;
  }
  return "other";
}

void Metrics::CountRequest(Route route, int status) {
  size_t i = 0;
  while (i + 1 < kStatuses.size() && kStatuses[i] != status) ++i;
  requests_[static_cast<size_t>(route)][i].fetch_add(1, std::memory_order_relaxed);
}

void Metrics::CountFetch(size_t area, FetchResult result) {
  upstream_.at(area).fetches[static_cast<size_t>(result)].fetch_add(1, std::memory_order_relaxed);
}

void Metrics::CountConnection(ConnectionEvent event) {
  connections_[static_cast<size_t>(event)].fetch_add(1, std::memory_order_relaxed);
}

uint64_t Metrics::Connections(ConnectionEvent event) const {
  return connections_[static_cast<size_t>(event)].load(std::memory_order_relaxed);
}

void Metrics::SetLastGoodRead(size_t area, int64_t unixSeconds) {
  upstream_.at(area).lastGoodRead.store(unixSeconds, std::memory_order_relaxed);
}

std::string Metrics::RenderConnections() const {
  auto n = [this](ConnectionEvent e) { return std::to_string(Connections(e)); };
  return "# HELP gridwren_bridge_connections_refused_total Connections closed unread on arrival, by the cap "
         "they were over.\n"
         "# TYPE gridwren_bridge_connections_refused_total counter\n"
         "gridwren_bridge_connections_refused_total{cap=\"per_client\"} " + n(ConnectionEvent::kRefusedClientCap) + "\n"
         "gridwren_bridge_connections_refused_total{cap=\"total\"} " + n(ConnectionEvent::kRefusedConnectionCap) + "\n"
         "# HELP gridwren_bridge_accept_failures_total Connections the system could not hand over (out of file "
         "descriptors, say).\n"
         "# TYPE gridwren_bridge_accept_failures_total counter\n"
         "gridwren_bridge_accept_failures_total " + n(ConnectionEvent::kAcceptFailed) + "\n"
         "# HELP gridwren_bridge_idle_connections_closed_total Idle keep-alive connections closed to make room "
         "near --max-connections.\n"
         "# TYPE gridwren_bridge_idle_connections_closed_total counter\n"
         "gridwren_bridge_idle_connections_closed_total " + n(ConnectionEvent::kIdleClosed) + "\n"
         "# HELP gridwren_bridge_log_lines_dropped_total Log lines dropped because the log's reader did not keep "
         "up.\n"
         "# TYPE gridwren_bridge_log_lines_dropped_total counter\n"
         "gridwren_bridge_log_lines_dropped_total " + std::to_string(LogLinesDropped()) + "\n";
}

namespace {

std::string AreaLabel(const AreaReading& a) { return "area=\"" + std::string(a.area->name) + "\""; }

}  // namespace

// One gauge per area and state, 1 for the state the area is in: an alert
// rule needs no knowledge of the words.
std::string Metrics::RenderSourceStates(const std::vector<AreaReading>& areas) {
  std::string out =
      "# HELP gridwren_bridge_source_state The state of the area's source: 1 for the one it is in, else 0.\n"
      "# TYPE gridwren_bridge_source_state gauge\n";
  for (const AreaReading& a : areas) {
    for (size_t i = 0; i < kSourceStateCount; ++i) {
      const SourceState state = static_cast<SourceState>(i);
      out += "gridwren_bridge_source_state{" + AreaLabel(a) + ",state=\"" + SourceStateName(state) + "\"} " +
             (state == a.state ? "1\n" : "0\n");
    }
  }
  out += "# HELP gridwren_bridge_source_state_since_timestamp_seconds Since when the area's source has been in its "
         "state (starting: since the bridge's start).\n"
         "# TYPE gridwren_bridge_source_state_since_timestamp_seconds gauge\n";
  for (const AreaReading& a : areas) {
    out += "gridwren_bridge_source_state_since_timestamp_seconds{" + AreaLabel(a) + "} " +
           std::to_string(std::max<int64_t>(0, a.since)) + "\n";
  }
  out += "# HELP gridwren_bridge_source_degraded 1 while a fresh reading is served although the last fetch failed "
         "or was refused.\n"
         "# TYPE gridwren_bridge_source_degraded gauge\n";
  for (const AreaReading& a : areas) {
    out += "gridwren_bridge_source_degraded{" + AreaLabel(a) + "} " + (a.degraded ? "1\n" : "0\n");
  }
  return out;
}

std::string Metrics::Render(const std::vector<AreaReading>& areas, int64_t now) const {
  std::string out =
      "# HELP gridwren_bridge_requests_total Requests answered, by path and status.\n"
      "# TYPE gridwren_bridge_requests_total counter\n";
  for (size_t r = 0; r < kRouteCount; ++r) {
    for (size_t s = 0; s < kStatuses.size(); ++s) {
      uint64_t n = requests_[r][s].load(std::memory_order_relaxed);
      if (n == 0) continue;
      std::string status = kStatuses[s] ? std::to_string(kStatuses[s]) : "other";
      out += "gridwren_bridge_requests_total{path=\"" + std::string(RoutePath(static_cast<Route>(r))) +
             "\",status=\"" + status + "\"} " + std::to_string(n) + "\n";
    }
  }
  out += "# HELP gridwren_bridge_upstream_fetches_total Requests to the operator's file, by area and result.\n"
         "# TYPE gridwren_bridge_upstream_fetches_total counter\n";
  static const char* const kResults[kFetchResultCount] = {"ok", "failed", "awaiting_new_day"};
  for (const AreaReading& a : areas) {
    const Upstream& u = upstream_[AreaIndex(*a.area)];
    for (size_t r = 0; r < kFetchResultCount; ++r) {
      out += "gridwren_bridge_upstream_fetches_total{" + AreaLabel(a) + ",result=\"" + kResults[r] + "\"} " +
             std::to_string(u.fetches[r].load()) + "\n";
    }
  }
  out += "# HELP gridwren_bridge_last_good_upstream_read_timestamp_seconds When the area's source last gave a "
         "sound answer (0: never).\n"
         "# TYPE gridwren_bridge_last_good_upstream_read_timestamp_seconds gauge\n";
  for (const AreaReading& a : areas) {
    out += "gridwren_bridge_last_good_upstream_read_timestamp_seconds{" + AreaLabel(a) + "} " +
           std::to_string(upstream_[AreaIndex(*a.area)].lastGoodRead.load()) + "\n";
  }
  out += RenderSourceStates(areas);
  out += RenderGridFigures(areas, now);
  out += RenderConnections();
  out += "# HELP gridwren_bridge_reading_age_seconds Age of the area's held reading, from the start of its hour.\n"
         "# TYPE gridwren_bridge_reading_age_seconds gauge\n";
  for (const AreaReading& a : areas) {
    if (a.snapshot == nullptr) continue;
    out += "gridwren_bridge_reading_age_seconds{" + AreaLabel(a) + "} " +
           std::to_string(now - a.snapshot->readingTime) + "\n";
  }
  return out;
}

}  // namespace gw::bridge
