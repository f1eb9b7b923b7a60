// The bridge's counters, rendered as Prometheus text for /metrics. Counting
// is a relaxed atomic add: it sits on every request's path. The log's count
// of dropped lines is read from the log itself.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/cache/source_status.h"
#include "bridge/reading/areas.h"

namespace gw::bridge {

struct Snapshot;

// What a request asked for; the only path labels /metrics shows, so that
// clients asking for made-up paths cannot grow it without bound. The
// per-area routes are labelled with {area} in place of the name.
enum class Route {
  kLatest, kMeter, kChart, kHealth, kMetrics, kAreas, kAreaLatest, kAreaMeter, kAreaChart, kPage, kAreaPage, kGuide,
  kAreaForecast, kOther
};
constexpr size_t kRouteCount = 14;
const char* RoutePath(Route route);

// How a fetch of an area's file ended. Just after midnight a dated file not
// yet published, or without actuals, is expected rather than a failure.
enum class FetchResult { kOk, kFailed, kAwaitingNewDay };
constexpr size_t kFetchResultCount = 3;

// A served area, the reading it holds (null: none) and its source's state
// as shown at the moment, for /metrics.
struct AreaReading {
  const Area* area;
  const Snapshot* snapshot;
  SourceState state = SourceState::kStarting;
  bool degraded = false;
  int64_t since = -1;  // when `state` began; -1: no fetch has ended
  bool fresh = false;  // `snapshot` is still served: younger than --max-age
};

// What happened to a connection apart from its requests.
enum class ConnectionEvent {
  kRefusedClientCap,      // over --max-connections-per-client: closed unread
  kRefusedConnectionCap,  // over --max-connections: closed unread
  kAcceptFailed,          // accept() failed (out of file descriptors, say)
  kIdleClosed,            // an idle keep-alive connection closed to make room
};
constexpr size_t kConnectionEventCount = 4;

class Metrics {
 public:
  void CountRequest(Route route, int status);
  // `area` is the area's place in AllAreas().
  void CountFetch(size_t area, FetchResult result);
  void CountConnection(ConnectionEvent event);
  uint64_t Connections(ConnectionEvent event) const;
  void SetLastGoodRead(size_t area, int64_t unixSeconds);

  // The upstream and reading figures of each area given; `now` in Unix
  // seconds.
  std::string Render(const std::vector<AreaReading>& areas, int64_t now) const;

 private:
  std::string RenderConnections() const;
  static std::string RenderSourceStates(const std::vector<AreaReading>& areas);

  static constexpr std::array<int, 12> kStatuses{200, 308, 400, 401, 403, 404, 405, 407, 408, 431, 503, 0};
  std::array<std::array<std::atomic<uint64_t>, kStatuses.size()>, kRouteCount> requests_{};
  struct Upstream {
    std::array<std::atomic<uint64_t>, kFetchResultCount> fetches{};
    std::atomic<int64_t> lastGoodRead{0};
  };
  std::array<Upstream, kAreaCount> upstream_{};
  std::array<std::atomic<uint64_t>, kConnectionEventCount> connections_{};
};

}  // namespace gw::bridge
