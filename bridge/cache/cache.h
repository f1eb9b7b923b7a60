// What the bridge serves, held as one immutable snapshot per reading: the
// reading, its day, and every answer already rendered to bytes. A new reading
// replaces the snapshot whole, so a client sees either the old documents or
// the new ones, never a mix, and serving one is a write of bytes in memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "bridge/cache/source_status.h"
#include "bridge/reading/figures.h"

namespace gw::bridge {

// One answer ready to send: the status line and headers, without the blank
// line that ends them (the connection's own header goes in between), and the
// body.
struct Answer {
  int status = 200;
  std::string head;
  std::string body;
};

struct Snapshot {
  Reading reading;
  DayFigures day;
  int64_t readingTime = 0;  // the start of the reading's hour, Unix seconds
  int64_t stamp = 0;        // the file's stamp (reading.updated), Unix seconds
  Answer latest;            // /latest.json
  Answer meter;             // the meter GIF
  Answer chart;             // today's graph GIF
  std::string staleReason;  // once it is older than --max-age: that, in words
};

class Cache {
 public:
  // Never blocks for longer than the copy of one pointer.
  std::shared_ptr<const Snapshot> Current() const { return std::atomic_load(&current_); }
  void Publish(std::shared_ptr<const Snapshot> snapshot);
  // Goes up with every Publish; lets a serving thread keep its own copy of
  // the pointer and touch the shared one only when a new reading came.
  uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }

  // The source's last outcome, replaced whole after every fetch; null
  // before the first.
  std::shared_ptr<const SourceStatus> Status() const { return std::atomic_load(&status_); }
  void PublishStatus(std::shared_ptr<const SourceStatus> status) { std::atomic_store(&status_, std::move(status)); }

 private:
  std::shared_ptr<const Snapshot> current_;
  std::shared_ptr<const SourceStatus> status_;
  std::atomic<uint64_t> generation_{0};
};

// A serving thread's view of the cache. Not shared between threads.
class CacheView {
 public:
  explicit CacheView(const Cache& cache) : cache_(cache) {}
  const std::shared_ptr<const Snapshot>& Get();

 private:
  const Cache& cache_;
  uint64_t seen_ = ~uint64_t{0};
  std::shared_ptr<const Snapshot> snapshot_;
};

}  // namespace gw::bridge
