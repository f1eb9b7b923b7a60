#include "bridge/cache/source_status.h"

#include "bridge/cache/cache.h"

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

SourceState ShownState(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  if (status.state == SourceState::kFresh && !ReadingFresh(snapshot, now, maxAgeSeconds)) return SourceState::kStale;
  return status.state;
}

int64_t ShownSince(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  if (ShownState(status, snapshot, now, maxAgeSeconds) == status.state || snapshot == nullptr) return status.since;
  return snapshot->readingTime + maxAgeSeconds + 1;
}

bool Degraded(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds) {
  const bool failed = status.state == SourceState::kUpstreamFailed || status.state == SourceState::kFileRefused;
  return failed && ReadingFresh(snapshot, now, maxAgeSeconds);
}

}  // namespace gw::bridge
