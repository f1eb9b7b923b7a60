#include "bridge/cache/source_documents.h"

#include "bridge/cache/documents.h"
#include "bridge/reading/japan_time.h"

namespace gw::bridge {
namespace {

std::string TimeText(int64_t unixSeconds) { return unixSeconds < 0 ? "never" : UnixToJapanIso(unixSeconds); }

std::string TimeJson(int64_t unixSeconds) { return unixSeconds < 0 ? "null" : JsonString(UnixToJapanIso(unixSeconds)); }

// The reading held, as /healthz names it: "reading of ..., file updated ...".
std::string HeldText(const Snapshot& s) {
  return "reading of " + UnixToJapanIso(s.readingTime) + ", file updated " + s.reading.updated;
}

}  // namespace

SourceState SourceView::Shown() const {
  return status == nullptr ? SourceState::kStarting : ShownState(*status, snapshot, now, maxAgeSeconds);
}

int64_t SourceView::Since() const {
  return status == nullptr ? -1 : ShownSince(*status, snapshot, now, maxAgeSeconds);
}

bool SourceView::IsDegraded() const { return status != nullptr && Degraded(*status, snapshot, now, maxAgeSeconds); }

bool SourceView::Healthy() const { return Offered() || (Fresh() && Shown() == SourceState::kAwaitingNewDay); }

std::string SourceStateText(const SourceView& v) {
  if (v.status == nullptr) return "the source's first fetch has not ended yet";
  const SourceStatus& s = *v.status;
  std::string text = std::string(SourceStateWords(v.Shown())) + " since " + TimeText(v.Since());
  if (s.lastFetch < 0) return text + "; " + s.outcome;
  return text + "; last fetch at " + TimeText(s.lastFetch) + ": " + s.outcome;
}

std::string UnservedReason(const SourceView& v) {
  std::string held = v.snapshot == nullptr ? std::string("no reading yet")
                     : !v.Fresh()          ? v.snapshot->staleReason
                                           : "the latest reading, of " + UnixToJapanIso(v.snapshot->readingTime) +
                                       ", is of the day before and is not offered again after midnight";
  return held + "; " + SourceStateText(v);
}

Answer UnservedAnswer(const SourceView& v, bool json) {
  const std::string reason = UnservedReason(v);
  if (!json) return MakeAnswer(503, kTextType, reason + "\n");
  return MakeAnswer(503, kJsonType, "{\"error\": " + JsonString(reason) + SourceJsonMembers(v) + "}\n");
}

std::string SourceJsonMembers(const SourceView& v) {
  const SourceStatus none;
  const SourceStatus& s = v.status == nullptr ? none : *v.status;
  return ", \"state\": " + JsonString(SourceStateName(v.Shown())) +
         ", \"degraded\": " + (v.IsDegraded() ? "true" : "false") + ", \"since\": " + TimeJson(v.Since()) +
         ", \"last_fetch\": " + TimeJson(s.lastFetch) + ", \"outcome\": " + JsonString(s.outcome) +
         ", \"source\": " + JsonString(s.source);
}

std::string HealthLine(const SourceView& v) {
  if (!v.Healthy()) return UnservedReason(v);
  if (v.IsDegraded()) return "degraded: " + HeldText(*v.snapshot) + ", still served; " + SourceStateText(v);
  const std::string held = HeldText(*v.snapshot) + (v.Offered() ? "" : ", not offered again after midnight");
  if (v.status == nullptr) return "ok: " + held;
  return "ok: " + held + "; " + SourceStateText(v);
}

}  // namespace gw::bridge
