// Refused connections and failed accepts, logged at most once a second as
// one line with counts: a flood must not become a flood of log lines.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/cache/metrics.h"

namespace gw::bridge {

class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kPeriod = std::chrono::seconds(1);

  RefusalLog(size_t maxConnections, size_t maxPerClient);

  // Counts one refusal or failed accept; `detail` is the client's address or
  // the failure's cause. Returns the line to log now when the last one was
  // a period ago or more; otherwise the event waits for Due().
  std::optional<std::string> Note(ConnectionEvent event, std::string_view detail, Clock::time_point now);

  // The line for events noted but not logged yet, once the period since the
  // last line is over; for a timer that runs when Pending().
  std::optional<std::string> Due(Clock::time_point now);
  bool Pending() const { return pending_ > 0; }
  // When Due() will have a line for what is pending.
  Clock::time_point NextLine() const { return lastLine_ + kPeriod; }

 private:
  std::string Line(Clock::time_point now);

  size_t maxConnections_, maxPerClient_;
  std::array<uint64_t, kConnectionEventCount> counts_{};
  std::array<std::string, kConnectionEventCount> lastDetail_;
  uint64_t pending_ = 0;
  bool logged_ = false;
  Clock::time_point lastLine_{}, firstPending_{};
};

}  // namespace gw::bridge
