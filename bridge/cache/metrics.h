// The bridge's counters, rendered as Prometheus text for /metrics. Counting
// is a relaxed atomic add: it sits on every request's path. The log's count
// of dropped lines is read from the log itself.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace gw::bridge {

struct Snapshot;

// What a request asked for; the only path labels /metrics shows, so that
// clients asking for made-up paths cannot grow it without bound.
enum class Route { kLatest, kMeter, kChart, kHealth, kMetrics, kOther };
constexpr size_t kRouteCount = 6;
const char* RoutePath(Route route);

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
  void CountFetch(bool ok);
  void CountConnection(ConnectionEvent event);
  uint64_t Connections(ConnectionEvent event) const;
  void SetLastGoodRead(int64_t unixSeconds);

  // `snapshot` may be null (no reading held); `now` in Unix seconds.
  std::string Render(const Snapshot* snapshot, int64_t now) const;

 private:
  std::string RenderConnections() const;

  static constexpr std::array<int, 11> kStatuses{200, 400, 401, 403, 404, 405, 407, 408, 431, 503, 0};
  std::array<std::array<std::atomic<uint64_t>, kStatuses.size()>, kRouteCount> requests_{};
  std::atomic<uint64_t> fetchesOk_{0};
  std::atomic<uint64_t> fetchesFailed_{0};
  std::atomic<int64_t> lastGoodRead_{0};
  std::array<std::atomic<uint64_t>, kConnectionEventCount> connections_{};
};

}  // namespace gw::bridge
