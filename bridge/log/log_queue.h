// The queue between the threads that log and the one thread that writes.
// Logging a line is a copy into memory under a short lock: it never waits for
// the sink. When the sink falls behind and the queue is full, new lines are
// dropped and counted, and the writer says how many were lost where the gap
// is. Stopping waits a bounded time for the queue to run empty, never for a
// writer stuck in its sink: that thread is left behind and the process ends
// without it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "bridge/log/log_sink.h"

namespace gw::bridge {

class LogQueue {
 public:
  // Holds at most `capacityBytes` of lines not yet written, plus
  // `urgentReserveBytes` that only urgent lines may use.
  LogQueue(std::unique_ptr<LogSink> sink, size_t capacityBytes, size_t urgentReserveBytes);
  // Stops as Stop(0) does.
  ~LogQueue();
  LogQueue(const LogQueue&) = delete;
  LogQueue& operator=(const LogQueue&) = delete;

  // Queues one whole line (ending in '\n'); false when it was dropped. An
  // urgent line (a start, a stop, an upstream fetch: rare, and wanted) may use
  // the reserve.
  bool Push(std::string_view line, bool urgent = false);

  // The sink for the lines written from now on; the writer destroys the old.
  void ReplaceSink(std::unique_ptr<LogSink> sink);

  // Lines dropped since the start.
  uint64_t Dropped() const;

  // Lets the writer write what is queued, waiting at most `grace` for it;
  // true when everything was written. Lines pushed afterwards are dropped.
  bool Stop(std::chrono::milliseconds grace);

  struct State;  // defined beside the writer's loop

 private:
  std::shared_ptr<State> state_;  // shared with the writer, which may outlive us
};

}  // namespace gw::bridge
