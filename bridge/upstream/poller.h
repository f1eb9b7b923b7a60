// The upstream poller: one fetch of the operator's file at start and then
// one per refresh period, whatever the load, on a thread of its own. Each
// fetch that brings a sound and newer reading draws the graphs and replaces
// the cache whole; anything else is logged and the held reading stays.
// Clients never wait on this: they are answered from the cache.
//
// A dated source ({date} in its name) is asked for the current day in Japan.
// At midnight the name moves on; until the new day's file has its first
// actual (about 1 a.m.) a missing file or one without actuals is expected,
// if the old day's file read well at the last fetch before: the switch is
// logged once, those answers are not logged as failures, and the old day's
// last reading stays held while younger than --max-age (what of it the
// plug-in is still offered: source_status.h). A bridge started in that
// window first reads the old day's file once, to stand where one that ran
// through midnight would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "bridge/cache/cache.h"
#include "bridge/charts/chart.h"
#include "bridge/reading/areas.h"
#include "bridge/reading/japan_time.h"
#include "bridge/cache/metrics.h"
#include "bridge/upstream/source_alarm.h"
#include "bridge/upstream/upstream.h"

namespace gw::bridge {

// After midnight, how long a missing or empty file of the new day counts as
// expected rather than as a failure: the first actual comes about 1 a.m.
constexpr int64_t kNewDayGraceSeconds = 3 * 3600;

struct PollerConfig {
  const Area* area = FindArea("tokyo");
  std::string source;  // the operator's URL, possibly with {date}
  int64_t maxAgeSeconds = 3 * 3600;
  int64_t alarmAfterSeconds = 3600;  // no fresh reading for this long raises the area's alarm
};

class Poller {
 public:
  Poller(PollerConfig config, Cache& cache, Metrics& metrics, ChartDrawer& drawer, const Clock& clock);
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // Fetches at once, then every `refresh` after each fetch began.
  void Start(std::chrono::seconds refresh);
  // Wakes the thread, ends a fetch in progress, and joins.
  void Stop();

  // One fetch and what follows it, logged in one line and published as the
  // area's status (Cache::Status()); returns that line, or nothing when the
  // answer was an expected one just after midnight. The first, just after
  // midnight, is two: the old day's file, then the new day's (two lines).
  std::string RefreshOnce();

  // The file the last or next fetch asks for.
  const std::string& url() const { return upstream_->url(); }

  // Takes a fetched file: true when it was sound (whether or not it brought
  // a new reading); `outcome` says what happened, for the log.
  bool Take(std::string_view bytes, std::string* outcome);

 private:
  void Loop(std::chrono::seconds refresh);
  // The fetch of the file named now, and what follows it (RefreshOnce).
  std::string FetchOnce();
  // Asks for `url` from now on: a new connection for the new file, its
  // validators those of no file yet. False (logged) when it cannot.
  bool MoveTo(const std::string& url);
  // Moves a dated source on to the day in Japan at `now`, logging the switch.
  void FollowDay(int64_t now);
  bool AwaitingNewDay(const Fetched& f, bool noActualYet, int64_t now) const;
  // Takes what the fetch brought: true when it was sound; `outcome` in words.
  bool Settle(const Fetched& f, std::string* outcome);
  // A sound fetch's state: fresh while the held reading is younger than
  // --max-age, else stale (said at the end of `outcome` and of `said_`).
  SourceState SoundState(int64_t now, std::string* outcome);
  // Whether the held reading is younger than --max-age at `t`.
  bool HeldFreshAt(int64_t t) const;
  // Publishes the fetch's outcome as the area's status, and raises or ends
  // the area's alarm.
  void Record(SourceState state, std::string outcome, int64_t now);
  std::string HeldStays() const;

  const Area& area_;
  const std::string source_;
  std::unique_ptr<Upstream> upstream_;  // replaced at a dated source's midnight, under mutex_
  Cache& cache_;
  Metrics& metrics_;
  ChartDrawer& drawer_;
  const Clock& clock_;
  int64_t maxAge_;
  // The held reading's moment and the file's stamp: a reading never goes
  // back in time, and within one hour a later stamp may correct the figure.
  int64_t heldTime_ = -1;
  std::string heldStamp_;
  // The midnight of the day switched to, until its first actual, when the
  // old day's file read well before it; -1 else.
  int64_t newDaySince_ = -1;
  bool fetched_ = false;  // the first RefreshOnce has begun
  bool noActualYet_ = false;  // the last file taken was sound but had none
  // The fetch's outcome in the status page's Japanese words, set beside
  // each outcome in the log's words and published with it.
  std::string said_;
  Reading held_;
  SourceStatus status_;  // the last one published
  SourceAlarm alarm_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace gw::bridge
