// What the documents say about an area's source: the last fetch's outcome,
// its state and since when, in the log's own words. The 503 bodies of
// /latest.json and the graphs, /healthz's lines and /areas.json's entries
// are made here from the area's status and snapshot at the moment of the
// request, so that each gives the true reason (a refused file, a failed
// fetch, a stale reading) and never a guess.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/cache/cache.h"
#include "bridge/reading/areas.h"

namespace gw::bridge {

// One area's status as the documents see it at `now`. Either pointer may be
// null: no reading held, no fetch ended yet.
struct SourceView {
  const Snapshot* snapshot = nullptr;
  const SourceStatus* status = nullptr;
  int64_t now = 0;
  int64_t maxAgeSeconds = 0;

  bool Fresh() const { return ReadingFresh(snapshot, now, maxAgeSeconds); }
  // What /latest.json gives the plug-in: the reading, or its 503.
  bool Offered() const { return ReadingOffered(snapshot, now, maxAgeSeconds); }
  SourceState Shown() const;
  int64_t Since() const;  // ShownSince, or -1 before the first fetch ended
  bool IsDegraded() const;
  // /healthz's judgement: the reading is offered, or held back only while
  // the new day is awaited as expected, not while the source fails.
  bool Healthy() const;
};

// Why no reading is offered: none held, the held one's age, or its day
// past midnight; then the source's state since when and the last fetch's
// time and outcome, e.g. "no reading yet; file refused since
// 2026-12-07T14:55:00+09:00; last fetch at 2026-12-07T15:00:00+09:00:
// refused the file: ...".
std::string UnservedReason(const SourceView& view);

// The source's state, since when and the last fetch, in words, e.g.
// "upstream failed since ...; last fetch at ...: failed: the source
// answered HTTP 404".
std::string SourceStateText(const SourceView& view);

// /latest.json's 503 (JSON: the reason as "error", then the status's
// fields, and no figure) or the graphs' (plain text), while no reading is
// offered.
Answer UnservedAnswer(const SourceView& view, bool json);

// The status's fields for a JSON object, each after ", ": "state",
// "degraded", "since", "last_fetch", "outcome", "source" (times as ISO 8601
// in Japan time, null when none).
std::string SourceJsonMembers(const SourceView& view);

// An area's line of /healthz, without its name: "ok: ...", "degraded: ..."
// or, when it is not healthy, the reason no reading is offered.
std::string HealthLine(const SourceView& view);

}  // namespace gw::bridge
