// The bridge's counters, rendered as Prometheus text for /metrics. Counting
// is a relaxed atomic add: it sits on every request's path.
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

class Metrics {
 public:
  void CountRequest(Route route, int status);
  void CountFetch(bool ok);
  void SetLastGoodRead(int64_t unixSeconds);

  // `snapshot` may be null (no reading held); `now` in Unix seconds.
  std::string Render(const Snapshot* snapshot, int64_t now) const;

 private:
  static constexpr std::array<int, 11> kStatuses{200, 400, 401, 403, 404, 405, 407, 408, 431, 503, 0};
  std::array<std::array<std::atomic<uint64_t>, kStatuses.size()>, kRouteCount> requests_{};
  std::atomic<uint64_t> fetchesOk_{0};
  std::atomic<uint64_t> fetchesFailed_{0};
  std::atomic<int64_t> lastGoodRead_{0};
};

}  // namespace gw::bridge
