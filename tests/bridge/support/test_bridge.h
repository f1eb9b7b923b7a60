// A whole bridge inside the test process: cache, poller, responder and the
// real HTTP front on a free port of 127.0.0.1, with a clock the test sets.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "bridge/cache/cache.h"
#include "bridge/cache/served_areas.h"
#include "bridge/charts/chart.h"
#include "bridge/serving/front.h"
#include "bridge/reading/japan_time.h"
#include "bridge/serving/login.h"
#include "bridge/cache/metrics.h"
#include "bridge/upstream/poller.h"
#include "bridge/serving/responder.h"
#include "bridge/upstream/upstream.h"

namespace gwtest {

class FakeClock final : public gw::bridge::Clock {
 public:
  explicit FakeClock(int64_t now = 0) : now_(now) {}
  int64_t UnixNow() const override { return now_.load(); }
  void Set(int64_t unixSeconds) { now_ = unixSeconds; }

 private:
  std::atomic<int64_t> now_;
};

// 2026-12-07 14:55 in Japan: the stamp of OperatorCsv's default file.
int64_t DefaultNow();

struct TestBridgeOptions {
  std::string area = "tokyo";
  std::string source = "http://127.0.0.1:9/unused.csv";
  int64_t start = 0;            // the clock at the bridge's start; 0: DefaultNow()
  std::string user, password;  // a login when both are set
  int64_t maxAgeSeconds = 3 * 3600;
  int64_t alarmAfterSeconds = 3600;
  size_t maxConnections = 64;
  size_t maxConnectionsPerClient = 64;
  int threads = 2;
};

class SourceServer;
// A bridge of `area` that reads the test source's file.
TestBridgeOptions From(const SourceServer& source, const std::string& area = "tokyo");

class TestBridge {
 public:
  explicit TestBridge(TestBridgeOptions options = {});
  ~TestBridge();

  int port() const { return port_; }
  // Takes a file as if fetched; true when it was sound.
  bool Take(const std::string& bytes, std::string* outcome = nullptr);
  // The hour of the reading held, -1 when none is.
  int HeldHour() const;

  FakeClock clock;
  gw::bridge::ServedAreas areas;
  gw::bridge::Cache& cache;  // the one area's
  gw::bridge::Metrics metrics;
  std::unique_ptr<gw::bridge::ChartDrawer> drawer;
  gw::bridge::Poller poller;

 private:
  std::optional<gw::bridge::Login> login_;
  std::optional<gw::bridge::Responder> responder_;
  std::optional<gw::bridge::Front> front_;
  int port_ = 0;
};

}  // namespace gwtest
