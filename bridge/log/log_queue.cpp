#include "bridge/log/log_queue.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "bridge/log/log_stamp.h"

namespace gw::bridge {

struct LogQueue::State {
  std::mutex mutex;
  std::condition_variable wake;     // the writer waits here for lines
  std::condition_variable drained;  // Stop() waits here for the writer
  std::string pending;              // whole lines not yet handed to the sink
  size_t capacity = 0, reserve = 0;
  uint64_t lostSinceNotice = 0;     // dropped lines the log has not mentioned yet
  std::atomic<uint64_t> droppedTotal{0};
  std::unique_ptr<LogSink> sink, nextSink;
  // The writer waits either for a first line (asleep: an idle bridge makes no
  // wake-ups) or, after a write, for the rest of its period (batching).
  bool writerAsleep = false, writerWaiting = false, urgentQueued = false, stopping = false, writerDone = false;
};

namespace {

// After a write the writer lets lines gather for this long, unless an urgent
// line, a queue half full or the stop comes first: woken for every line, it
// would cost a system call and a thread switch per request. With nothing
// queued it sleeps until a line comes, so that an idle bridge never wakes.
constexpr auto kWriterPeriod = std::chrono::milliseconds(100);

// Written where lines went missing, so that a reader of the log sees the gap.
std::string LossNotice(uint64_t lost) {
  char line[128];
  WriteStampNow(line);
  const size_t used = std::char_traits<char>::length(line);
  std::snprintf(line + used, sizeof line - used,
                "log: %llu lines dropped here: the log's reader did not keep up\n",
                static_cast<unsigned long long>(lost));
  return line;
}

bool Pressing(const LogQueue::State& s) {
  return s.urgentQueued || s.pending.size() >= s.capacity / 2 || s.nextSink || s.stopping;
}

bool Queued(const LogQueue::State& s) { return !s.pending.empty() || s.lostSinceNotice > 0; }

// Sleeps with no time limit while there is nothing to write; the first line
// is written at once, and the next batch a period after the last write.
void AwaitWork(LogQueue::State& s, std::unique_lock<std::mutex>& lock, bool wroteLast) {
  if (wroteLast) {
    s.writerWaiting = true;
    s.wake.wait_for(lock, kWriterPeriod, [&] { return Pressing(s); });
    s.writerWaiting = false;
  }
  if (Queued(s) || Pressing(s)) return;
  s.writerAsleep = true;
  s.wake.wait(lock, [&] { return Queued(s) || Pressing(s); });
  s.writerAsleep = false;
}

// Swaps the queued lines out, writes them without the lock, and flushes once
// the queue has run empty.
void WriterLoop(std::shared_ptr<LogQueue::State> s) {
  std::string batch;
  std::unique_lock<std::mutex> lock(s->mutex);
  bool wrote = false;
  for (;;) {
    AwaitWork(*s, lock, wrote);
    if (s->nextSink) s->sink = std::move(s->nextSink);
    wrote = Queued(*s);
    if (!wrote) {
      if (s->stopping) break;
      continue;
    }
    s->urgentQueued = false;
    batch.swap(s->pending);
    const uint64_t lost = std::exchange(s->lostSinceNotice, 0);
    lock.unlock();
    if (lost > 0) batch += LossNotice(lost);
    if (s->sink) s->sink->Write(batch);
    batch.clear();
    lock.lock();
    if (s->pending.empty() && s->sink) {
      lock.unlock();
      s->sink->Flush();
      lock.lock();
    }
  }
  s->writerDone = true;
  s->drained.notify_all();
}

}  // namespace

LogQueue::LogQueue(std::unique_ptr<LogSink> sink, size_t capacityBytes, size_t urgentReserveBytes)
    : state_(std::make_shared<State>()) {
  state_->sink = std::move(sink);
  state_->capacity = capacityBytes;
  state_->reserve = urgentReserveBytes;
  // Detached: the thread holds the state, so a writer stuck in its sink can
  // be left behind by Stop() and by the process's exit.
  std::thread(WriterLoop, state_).detach();
}

LogQueue::~LogQueue() { Stop(std::chrono::milliseconds(0)); }

bool LogQueue::Push(std::string_view line, bool urgent) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  const size_t room = s.capacity + (urgent ? s.reserve : 0);
  if (s.stopping || s.pending.size() + line.size() > room) {
    if (!s.stopping) ++s.lostSinceNotice;  // after the stop there is no later line to say so
    s.droppedTotal.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  s.pending.append(line.data(), line.size());
  s.urgentQueued |= urgent;
  const bool wake = s.writerAsleep || (s.writerWaiting && Pressing(s));
  lock.unlock();
  if (wake) s.wake.notify_one();
  return true;
}

void LogQueue::ReplaceSink(std::unique_ptr<LogSink> sink) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->nextSink = std::move(sink);
  }
  state_->wake.notify_one();
}

uint64_t LogQueue::Dropped() const { return state_->droppedTotal.load(std::memory_order_relaxed); }

bool LogQueue::Stop(std::chrono::milliseconds grace) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  s.stopping = true;
  s.wake.notify_one();
  return s.drained.wait_for(lock, grace, [&] { return s.writerDone; });
}

}  // namespace gw::bridge
