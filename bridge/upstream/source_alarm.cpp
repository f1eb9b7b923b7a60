#include "bridge/upstream/source_alarm.h"

#include <cstdio>

#include "bridge/log/event_log.h"
#include "bridge/reading/japan_time.h"

namespace gw::bridge {

SourceAlarm::SourceAlarm(std::string area, int64_t afterSeconds, int64_t start)
    : area_(std::move(area)), after_(afterSeconds), start_(start), lastFresh_(start) {}

std::string SourceAlarm::After(const SourceStatus& status, int64_t now) {
  std::string line;
  if (status.state == SourceState::kFresh) {
    if (raisedAt_ >= 0) {
      line = area_ + ": alarm over: a fresh reading again after " + DurationText(now - lastFresh_) +
             " without one; " + status.outcome;
      LogNotice(Notice::kAlarmOver, line);
    }
    raisedAt_ = -1;
    lastFresh_ = now;
    return line;
  }
  if (status.state == SourceState::kAwaitingNewDay) return line;
  const bool due = raisedAt_ < 0 ? now - lastFresh_ >= after_ : now - raisedAt_ >= kAlarmRepeatSeconds;
  if (!due) return line;
  raisedAt_ = now;
  line = area_ + ": alarm: no fresh reading for " + DurationText(now - lastFresh_) + " (since " +
         UnixToJapanIso(lastFresh_) + (lastFresh_ == start_ ? ", the bridge's start" : "") + "; --alarm-after " +
         std::to_string(after_) + " s); last: " + status.outcome;
  LogNotice(Notice::kAlarm, line);
  return line;
}

std::string DurationText(int64_t seconds) {
  char text[48];
  if (seconds < 60) {
    std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(seconds));
  } else if (seconds < 3600) {
    std::snprintf(text, sizeof text, "%lld min", static_cast<long long>(seconds / 60));
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60));
  }
  return text;
}

}  // namespace gw::bridge
