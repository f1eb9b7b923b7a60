#include "bridge/cache/source_status.h"

#include <algorithm>

#include "bridge/cache/cache.h"
#include "bridge/reading/japan_time.h"

namespace gw::bridge {

const char* SourceStateName(SourceState state) {
  switch (state) {
    case SourceState::kStarting: return "starting";
    case SourceState::kFresh: return "fresh";
    case SourceState::kAwaitingNewDay: return "awaiting_new_day";
    case SourceState::kUpstreamFailed: return "upstream_failed";
    case SourceState::kFileRefused: return "file_refused";
    case SourceState::kStale: return "stale";
  }
  return "starting";
}

const char* SourceStateWords(SourceState state) {
  switch (state) {
    case SourceState::kStarting: return "starting";
    case SourceState::kFresh: return "fresh";
    case SourceState::kAwaitingNewDay: return "awaiting the new day";
    case SourceState::kUpstreamFailed: return "upstream failed";
    case SourceState::kFileRefused: return "file refused";
    case SourceState::kStale: return "stale";
  }
  return "starting";
}

bool ReadingFresh(const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  return snapshot != nullptr && now - snapshot->readingTime <= maxAgeSeconds;
}

bool HeldBackAtMidnight(const Snapshot* snapshot, int64_t now) {
  if (snapshot == nullptr) return false;
  const int64_t midnight = JapanDayStart(now);
  if (snapshot->readingTime >= midnight) return false;
  const bool lastHourKnownAfterMidnight = snapshot->readingTime == midnight - 3600 && snapshot->stamp >= midnight;
  return !lastHourKnownAfterMidnight;
}

bool ReadingOffered(const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  return ReadingFresh(snapshot, now, maxAgeSeconds) && !HeldBackAtMidnight(snapshot, now);
}

SourceState ShownState(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  if (status.state != SourceState::kFresh) return status.state;
  if (!ReadingFresh(snapshot, now, maxAgeSeconds)) return SourceState::kStale;
  return HeldBackAtMidnight(snapshot, now) ? SourceState::kAwaitingNewDay : SourceState::kFresh;
}

int64_t ShownSince(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  const SourceState shown = ShownState(status, snapshot, now, maxAgeSeconds);
  if (shown == status.state || snapshot == nullptr) return status.since;
  if (shown == SourceState::kAwaitingNewDay) return std::max(status.since, JapanDayStart(now));
  return snapshot->readingTime + maxAgeSeconds + 1;
}

bool Degraded(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  const bool failed = status.state == SourceState::kUpstreamFailed || status.state == SourceState::kFileRefused;
  return failed && ReadingOffered(snapshot, now, maxAgeSeconds);
}

}  // namespace gw::bridge
