// What an area's source did at its last fetch, and since when. The reason
// is decided once, where it happens (the reader, the limits, the poller),
// and kept here; the log line, every document's error body, /healthz,
// /areas.json, /metrics and the status page only show it, in the same
// words. A user whose operator moved or changed its file is then told so
// everywhere, not left believing they are watched over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace gw::bridge {

struct Snapshot;

enum class SourceState {
  kStarting,        // no fetch has ended yet
  kFresh,           // the last fetch brought or confirmed a reading younger than --max-age
  kAwaitingNewDay,  // just after midnight, the new day's file has no actual yet
  kUpstreamFailed,  // the operator answered with an error status, or not at all
  kFileRefused,     // the file came but the reader or the limits refused it
  kStale,           // the fetch was sound but the held reading is older than --max-age
};
constexpr size_t kSourceStateCount = 6;

// The state's name as /areas.json and /metrics give it: "starting",
// "fresh", "awaiting_new_day", "upstream_failed", "file_refused", "stale".
const char* SourceStateName(SourceState state);
// The state in the words of the log and the error bodies: "starting",
// "fresh", "awaiting the new day", "upstream failed", "file refused",
// "stale".
const char* SourceStateWords(SourceState state);

struct SourceStatus {
  SourceState state = SourceState::kStarting;  // the last fetch's outcome
  std::string outcome;     // that outcome in the log line's words
  int64_t since = -1;      // when `state` began: the first fetch that ended so (Unix seconds)
  int64_t lastFetch = -1;  // when the last fetch ended; -1 before the first
  int64_t lastFresh = -1;  // when a fetch last ended in kFresh; -1 never
  std::string source;      // the address fetched as shown: scheme, host and path, never a login or query
  // The outcome as the status page tells a person, in a few Japanese words
  // with its figures, decided beside `outcome`; the log, the documents and
  // /metrics keep `outcome`'s words, which the page gives under 詳細.
  std::string said;
};

// The held reading is still current: there is one and it is no older than
// --max-age at `now`. The status page shows it and /healthz names it.
bool ReadingFresh(const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds);

// After midnight in Japan the plug-in starts a new day: it forgets the hour
// it last looked at, so a reading of the old day offered again would be
// looked at again, and mailed a second time. From midnight on, therefore,
// the old day's readings are held back, all but its 23時 from a file
// stamped after midnight: only that one cannot have been offered before.
// Decided from the reading and the clock alone, so that a bridge started
// at night keeps the rule as well as one that ran through midnight.
bool HeldBackAtMidnight(const Snapshot* snapshot, int64_t now);

// The held reading is offered to the plug-in (/latest.json and its twin
// under /areas/NAME/): fresh, and not held back at midnight.
bool ReadingOffered(const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds);

// The state shown at `now`: the last fetch's, except that a held reading
// that has grown older than --max-age since makes a fresh area stale, and
// one held back at midnight makes it await the new day.
SourceState ShownState(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds);

// Since when the shown state holds: the status's own time, except for a
// fresh area whose reading has since grown older than --max-age, which is
// stale from the moment it passed that age, and for one whose reading is
// held back, which awaits the new day from midnight (or from the status's
// own time, if later).
int64_t ShownSince(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds);

// The held reading is still offered to the plug-in, but the last fetch
// failed or was refused: the area is "degraded".
bool Degraded(const SourceStatus& status, const Snapshot* snapshot, int64_t now, int64_t maxAgeSeconds);

}  // namespace gw::bridge
