#include "support/test_bridge.h"

#include "bridge/options.h"

namespace gwtest {

int64_t DefaultNow() { return gw::bridge::JapanTimeToUnix(2026, 12, 7, 14, 55); }

TestBridge::TestBridge(TestBridgeOptions o)
    : drawer(gw::bridge::MakeChartDrawer(gw::bridge::kDefaultFont)),
      upstream(o.source),
      poller(upstream, cache, metrics, *drawer, clock, o.maxAgeSeconds) {
  clock.Set(DefaultNow());
  if (!o.user.empty()) login_.emplace(o.user, o.password);
  responder_.emplace(metrics, login_ ? &*login_ : nullptr, o.maxAgeSeconds);
  front_.emplace(gw::bridge::FrontConfig{"127.0.0.1", 0, o.maxConnections, o.threads, o.maxConnectionsPerClient}, cache, *responder_, metrics,
                 clock);
  port_ = front_->Listen();
  front_->Start();
}

TestBridge::~TestBridge() {
  poller.Stop();
  front_->Stop();
}

bool TestBridge::Take(const std::string& bytes, std::string* outcome) {
  std::string ignored;
  return poller.Take(bytes, outcome ? outcome : &ignored);
}

}  // namespace gwtest
