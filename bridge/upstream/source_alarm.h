// An area's alarm: raised once when the area has had no fresh reading for
// --alarm-after seconds (counted from the bridge's start too), ended once
// when a fresh reading comes back, and repeated at most once a day while it
// lasts, so that a long outage is neither forgotten nor a line at every
// refresh. Its lines are notices (log/event_log.h): on Windows they also go
// to the Event Log, where someone who never opens the log sees them.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/cache/source_status.h"

namespace gw::bridge {

// How often a lasting alarm is said again.
constexpr int64_t kAlarmRepeatSeconds = 24 * 3600;

class SourceAlarm {
 public:
  SourceAlarm(std::string area, int64_t afterSeconds, int64_t start);

  // After each fetch, with the status it left at `now`: logs the alarm or
  // its end when one is due, and returns that line (empty when none).
  // Awaiting the new day is expected: it neither raises nor ends an alarm.
  std::string After(const SourceStatus& status, int64_t now);

 private:
  const std::string area_;
  const int64_t after_;
  const int64_t start_;
  int64_t lastFresh_;      // the last fetch that ended fresh, or the start
  int64_t raisedAt_ = -1;  // when the alarm was last said; -1: no alarm
};

// A length of time for people: "45 s", "12 min", "3 h 05 min".
std::string DurationText(int64_t seconds);

}  // namespace gw::bridge
