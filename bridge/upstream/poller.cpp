#include "bridge/upstream/poller.h"

#include <cstdio>
#include <exception>

#include "bridge/cache/documents.h"
#include "bridge/log/event_log.h"
#include "bridge/reading/operator_file.h"

namespace gw::bridge {
namespace {

// A stamp or a reading more than a few minutes ahead of the clock is a
// wrong file or a wrong clock: taking it would lock every later, correct
// file out as "older" until then. The few minutes allow for the operator's
// clock and ours differing a little.
constexpr int64_t kFutureToleranceSeconds = 5 * 60;

// The file a dated source is first asked for: the day's in Japan, except
// just after midnight, when a bridge that ran through it would last have
// read the old day's.
std::string FirstSource(const std::string& source, int64_t now) {
  const int64_t midnight = JapanDayStart(now);
  return SourceForDay(source, now - midnight < kNewDayGraceSeconds ? midnight - 1 : now);
}

std::string Describe(const Reading& r) {
  char text[160];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d時: %d/%d 万kW = %u%%", r.year, r.month, r.day, r.hour, r.usage,
                r.capacity, r.percent);
  return text;
}

// The reading as the status page says it: "12月8日 5時台、使用率 81%".
std::string Said(const Reading& r) {
  return std::to_string(r.month) + "月" + std::to_string(r.day) + "日 " + std::to_string(r.hour) + "時台、使用率 " +
         std::to_string(r.percent) + "%";
}

// A failed fetch as a person is told it: the operator's answer where one came.
std::string FailureSaid(const Fetched& f) {
  if (f.status > 0 && f.status != 200) return "事業者が " + std::to_string(f.status) + " を返しました";
  if (f.status == 200) return "事業者のファイルを最後まで受け取れませんでした";
  return "事業者のサーバーにつながりません";
}

}  // namespace

Poller::Poller(PollerConfig config, Cache& cache, Metrics& metrics, ChartDrawer& drawer, const Clock& clock)
    : area_(*config.area),
      source_(std::move(config.source)),
      upstream_(std::make_unique<Upstream>(FirstSource(source_, clock.UnixNow()))),
      cache_(cache),
      metrics_(metrics),
      drawer_(drawer),
      clock_(clock),
      maxAge_(config.maxAgeSeconds),
      alarm_(area_.name, config.alarmAfterSeconds, clock.UnixNow()) {
  // Until the first fetch ends the area is starting: the documents can
  // already say so and name the source.
  auto status = std::make_shared<SourceStatus>();
  status->since = clock.UnixNow();
  status->outcome = "the first fetch has not ended yet";
  status->said = "最初の取得がまだ終わっていません";
  status->source = ShownSource(upstream_->url());
  status_ = *status;
  cache_.PublishStatus(std::move(status));
}

Poller::~Poller() { Stop(); }

void Poller::Start(std::chrono::seconds refresh) {
  thread_ = std::thread([this, refresh] { Loop(refresh); });
}

void Poller::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    upstream_->Abort();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Poller::Loop(std::chrono::seconds refresh) {
  auto next = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    RefreshOnce();
    lock.lock();
    // A fetch that outlasted the period starts the next one at once, never
    // two at a time and never a burst to catch up.
    next = std::max(next + refresh, std::chrono::steady_clock::now());
    wake_.wait_until(lock, next, [this] { return stopping_; });
  }
}

bool Poller::MoveTo(const std::string& url) {
  if (url == upstream_->url()) return true;
  std::unique_ptr<Upstream> next;
  try {
    next = std::make_unique<Upstream>(url);
  } catch (const std::exception& e) {
    // Tried again at the next refresh; meanwhile the file asked for so far.
    LogLineNow("%s: cannot move on to %s: %s", area_.name, ShownSource(url).c_str(), e.what());
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) next->Abort();
  upstream_.swap(next);
  return true;
}

void Poller::FollowDay(int64_t now) {
  const std::string url = SourceForDay(source_, now);
  if (url == upstream_->url() || !MoveTo(url)) return;
  // The wait for the new day's first actual is expected only from a source
  // that gave the old day's file well at the last fetch before midnight:
  // one that was failing then is failing still. A file read stale counts
  // if its reading was fresh at midnight: a bridge started at 2:30 reads the
  // old day's 23時 hours after its hour, where one that ran through midnight
  // read it fresh.
  const int64_t midnight = JapanDayStart(now);
  const bool oldDayReadWell = status_.state == SourceState::kFresh ||
                              (status_.state == SourceState::kStale && HeldFreshAt(midnight));
  newDaySince_ = oldDayReadWell ? midnight : -1;
  const std::string held = heldTime_ < 0 ? "no reading is held" : "the reading of " + UnixToJapanIso(heldTime_) +
                                                                      " is held while younger than " +
                                                                      std::to_string(maxAge_) + " s (--max-age)";
  const char* wait = oldDayReadWell ? "until its first actual (about 1 a.m.) a missing file or one without actuals "
                                      "is expected and not logged"
                                    : "the old day's file was not read well at the last fetch, so a missing file "
                                      "is a failure, not the new day's expected wait";
  LogLineNow("%s: a new day in Japan: reading %s from now on; %s; %s", area_.name, ShownSource(url).c_str(), wait,
             held.c_str());
}

// Just after midnight the new day's file may not exist yet, or exist
// without an actual: the operator publishes the first hour once it is over.
bool Poller::AwaitingNewDay(const Fetched& f, bool noActualYet, int64_t now) const {
  if (newDaySince_ < 0 || now - newDaySince_ >= kNewDayGraceSeconds) return false;
  return noActualYet || f.kind == Fetched::Kind::kNotModified ||
         (f.kind == Fetched::Kind::kFailed && f.status == 404);
}

std::string Poller::RefreshOnce() {
  std::string first;
  if (!fetched_) {
    fetched_ = true;
    // A start just after midnight reads the old day's file once, as a
    // bridge that ran through midnight read it last: the new day's file
    // missing is then the expected wait if that read well, and a failure
    // if the source fails for the old day too.
    const int64_t now = clock_.UnixNow();
    const std::string oldDay = FirstSource(source_, now);
    if (oldDay != SourceForDay(source_, now) && MoveTo(oldDay)) first = FetchOnce();
  }
  FollowDay(clock_.UnixNow());
  const std::string line = FetchOnce();
  if (first.empty() || line.empty()) return first + line;
  return first + "\n" + line;
}

std::string Poller::FetchOnce() {
  Fetched f = upstream_->Fetch();
  std::string outcome;
  const bool good = Settle(f, &outcome);
  const int64_t now = clock_.UnixNow();
  if (AwaitingNewDay(f, noActualYet_, now)) {
    metrics_.CountFetch(AreaIndex(area_), FetchResult::kAwaitingNewDay);
    said_ = "日付が変わった直後なので待っています（" + said_ + "）";
    Record(SourceState::kAwaitingNewDay, "expected just after midnight: " + outcome, now);
    return {};
  }
  metrics_.CountFetch(AreaIndex(area_), good ? FetchResult::kOk : FetchResult::kFailed);
  if (good) metrics_.SetLastGoodRead(AreaIndex(area_), now);
  const SourceState state = good                               ? SoundState(now, &outcome)
                            : f.kind == Fetched::Kind::kFailed ? SourceState::kUpstreamFailed
                                                               : SourceState::kFileRefused;
  char head[64];
  std::snprintf(head, sizeof head, " %ld %zu B %.3f s: ", f.status, f.body.size(), f.seconds);
  std::string line = std::string(area_.name) + ": upstream GET " + ShownSource(upstream_->url()) + head + outcome;
  LogLineNow("%s", line.c_str());
  Record(state, std::move(outcome), now);
  return line;
}

bool Poller::Settle(const Fetched& f, std::string* outcome) {
  noActualYet_ = false;
  said_.clear();
  if (f.kind == Fetched::Kind::kNotModified) {
    *outcome = "not modified";
    said_ = "ファイルは前回から変わっていません";
    return true;
  }
  if (f.kind == Fetched::Kind::kFailed) {
    *outcome = "failed: " + f.error;
    said_ = FailureSaid(f);
    return false;
  }
  const bool good = Take(f.body, outcome);
  if (good) upstream_->Remember(f);
  return good;
}

bool Poller::HeldFreshAt(int64_t t) const { return heldTime_ >= 0 && t - heldTime_ <= maxAge_; }

SourceState Poller::SoundState(int64_t now, std::string* outcome) {
  if (HeldFreshAt(now)) return SourceState::kFresh;
  *outcome += heldTime_ < 0 ? "; stale: no reading is held"
                            : "; stale: the held reading is older than " + std::to_string(maxAge_) + " s (--max-age)";
  said_ += heldTime_ < 0 ? "。値はまだありません" : "。値は --max-age より古いままです";
  return SourceState::kStale;
}

void Poller::Record(SourceState state, std::string outcome, int64_t now) {
  auto status = std::make_shared<SourceStatus>();
  status->state = state;
  status->outcome = std::move(outcome);
  status->since = state == status_.state ? status_.since : now;
  status->lastFetch = now;
  status->lastFresh = state == SourceState::kFresh ? now : status_.lastFresh;
  status->source = ShownSource(upstream_->url());
  status->said = said_;
  status_ = *status;
  cache_.PublishStatus(std::move(status));
  alarm_.After(status_, now);
}

// Said after an outcome that leaves the area as it was, but only when a
// reading is held: before the first one there is nothing to stay.
std::string Poller::HeldStays() const { return heldTime_ < 0 ? "" : "; the held reading stays"; }

bool Poller::Take(std::string_view bytes, std::string* outcome) {
  std::string reason;
  std::optional<OperatorFile> file = TryReadOperatorFile(bytes, area_, &reason, &said_);
  if (!file) {
    *outcome = "refused the file: " + reason + HeldStays();
    return false;
  }
  if (file->stamp > clock_.UnixNow() + kFutureToleranceSeconds) {
    *outcome = "refused the file: its stamp (" + file->day.updated + ") lies in the future by the clock";
    said_ = "ファイルの更新時刻が、ブリッジの時計より先です";
    return false;
  }
  if (!file->reading) {
    noActualYet_ = true;
    *outcome = "no actual demand in the file yet (" + file->day.updated + ")" + HeldStays();
    said_ = "ファイルにまだ実績がありません";
    return true;
  }
  const Reading& r = *file->reading;
  const int64_t time = ReadingTime(r);
  if (time < heldTime_ || (time == heldTime_ && r.updated < heldStamp_)) {
    *outcome = "refused the file: its reading (" + Describe(r) + ", " + r.updated +
               ") is older than the one held (" + heldStamp_ + ")";
    said_ = "いま持っている値より古い値のファイルです（" + Said(r) + "）";
    return false;
  }
  if (time == heldTime_ && r.updated == heldStamp_) {
    *outcome = "unchanged: " + Describe(r) + ", file updated " + r.updated;
    said_ = "値は変わっていません（" + Said(r) + "）";
    return true;
  }
  if (time > clock_.UnixNow() + kFutureToleranceSeconds) {
    *outcome = "refused the file: its reading (" + Describe(r) + ") lies in the future by the clock";
    said_ = "ファイルの値の時刻が、ブリッジの時計より先です（" + Said(r) + "）";
    return false;
  }
  Rendering rendering{r, file->day, {}, {}, ShownSource(upstream_->url()), maxAge_, &area_};
  rendering.stamp = file->stamp;  // whether the reading can be offered after midnight
  try {
    rendering.meterGif = drawer_.DrawMeter(r, area_.label);
    rendering.chartGif = drawer_.DrawDay(r, file->day, area_.label);
  } catch (const std::exception& e) {
    *outcome = std::string("could not draw the graphs (") + e.what() + ")" + HeldStays();
    said_ = "グラフを描けませんでした";
    return false;
  }
  cache_.Publish(RenderSnapshot(std::move(rendering)));
  heldTime_ = time;
  heldStamp_ = r.updated;
  newDaySince_ = -1;
  held_ = r;
  *outcome = "new reading " + Describe(r) + ", file updated " + r.updated;
  said_ = "新しい値を読みました（" + Said(r) + "）";
  return true;
}

}  // namespace gw::bridge
