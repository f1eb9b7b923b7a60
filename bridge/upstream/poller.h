// The upstream poller: one fetch of the operator's file at start and then
// one per refresh period, whatever the load, on a thread of its own. Each
// fetch that brings a sound and newer reading draws the graphs and replaces
// the cache whole; anything else is logged and the held reading stays.
// Clients never wait on this: they are answered from the cache.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "bridge/cache/cache.h"
#include "bridge/charts/chart.h"
#include "bridge/reading/japan_time.h"
#include "bridge/cache/metrics.h"
#include "bridge/upstream/upstream.h"

namespace gw::bridge {

class Poller {
 public:
  Poller(Upstream& upstream, Cache& cache, Metrics& metrics, ChartDrawer& drawer, const Clock& clock,
         int64_t maxAgeSeconds);
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // Fetches at once, then every `refresh` after each fetch began.
  void Start(std::chrono::seconds refresh);
  // Wakes the thread, ends a fetch in progress, and joins.
  void Stop();

  // One fetch and what follows it, logged in one line.
  void RefreshOnce();

  // Takes a fetched file: true when it was sound (whether or not it brought
  // a new reading); `outcome` says what happened, for the log.
  bool Take(std::string_view bytes, std::string* outcome);

 private:
  void Loop(std::chrono::seconds refresh);

  Upstream& upstream_;
  Cache& cache_;
  Metrics& metrics_;
  ChartDrawer& drawer_;
  const Clock& clock_;
  int64_t maxAge_;
  // The held reading's moment and the file's stamp: a reading never goes
  // back in time, and within one hour a later stamp may correct the figure.
  int64_t heldTime_ = -1;
  std::string heldStamp_;
  Reading held_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace gw::bridge
