#include "support/test_bridge.h"

#include "bridge/options.h"
#include "support/source_server.h"

namespace gwtest {

int64_t DefaultNow() { return gw::bridge::JapanTimeToUnix(2026, 12, 7, 14, 55); }

// The clock is set before the poller names its first file from it.
TestBridge::TestBridge(TestBridgeOptions o)
    : clock(o.start != 0 ? o.start : DefaultNow()),
      areas({gw::bridge::FindArea(o.area)}),
      cache(areas.cache(0)),
      drawer(gw::bridge::MakeChartDrawer(gw::bridge::Options().font)),
      poller({gw::bridge::FindArea(o.area), o.source, o.maxAgeSeconds, o.alarmAfterSeconds}, cache, metrics, *drawer, clock) {
  if (!o.user.empty()) login_.emplace(o.user, o.password);
  responder_.emplace(metrics, login_ ? &*login_ : nullptr, o.maxAgeSeconds);
  front_.emplace(
      gw::bridge::FrontConfig{"127.0.0.1", 0, o.maxConnections, o.threads, o.maxConnectionsPerClient, nullptr}, areas,
      *responder_, metrics, clock);
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

int TestBridge::HeldHour() const {
  auto snapshot = cache.Current();
  return snapshot ? snapshot->reading.hour : -1;
}

TestBridgeOptions From(const SourceServer& source, const std::string& area) {
  TestBridgeOptions options;
  options.source = source.Url();
  options.area = area;
  return options;
}

}  // namespace gwtest
