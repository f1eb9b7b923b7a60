// Everything one bridge process runs, built from its options: for each
// served area a cache and a poller (one upstream request per refresh per
// area), and for each --listen a front whose plug-in documents are its
// area's. Kept apart from main so that tests can run a whole bridge.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/cache/metrics.h"
#include "bridge/cache/served_areas.h"
#include "bridge/charts/chart.h"
#include "bridge/options.h"
#include "bridge/reading/japan_time.h"
#include "bridge/serving/front.h"
#include "bridge/serving/login.h"
#include "bridge/serving/responder.h"
#include "bridge/upstream/poller.h"

namespace gw::bridge {

class BridgeParts {
 public:
  // Throws std::runtime_error naming the cause when a part cannot be made
  // (the password file, the font). `threads`: serving threads per listener.
  BridgeParts(const Options& options, const Clock& clock, int threads);
  ~BridgeParts();
  BridgeParts(const BridgeParts&) = delete;
  BridgeParts& operator=(const BridgeParts&) = delete;

  // Binds every listener; returns their ports in the order of --listen.
  // Throws std::runtime_error naming the address and the cause.
  std::vector<uint16_t> Listen();
  // Serves, and starts every area's poller.
  void Start();
  void Stop();

  // One line for the log: each listener with its area, each area's source.
  std::string Describe(const std::vector<uint16_t>& ports) const;

  ServedAreas& areas() { return *areas_; }
  Metrics& metrics() { return metrics_; }
  Poller& poller(size_t area) { return *pollers_.at(area); }

 private:
  Options options_;
  BridgePlan plan_;
  const Clock& clock_;
  std::optional<Login> login_;
  std::unique_ptr<ChartDrawer> drawer_;
  std::unique_ptr<ServedAreas> areas_;
  Metrics metrics_;
  std::vector<std::unique_ptr<Responder>> responders_;
  size_t connectionCap_ = 0;  // per listener, fitted to the descriptor limit
  std::shared_ptr<ClientTable> clients_;  // every listener's connections per client
  std::vector<std::unique_ptr<Front>> fronts_;
  std::vector<std::unique_ptr<Poller>> pollers_;
};

}  // namespace gw::bridge
