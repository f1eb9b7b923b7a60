// Where the bridge's log lines end up. The log's one writer thread hands its
// sink batches of whole lines; the sink may take as long as its medium makes
// it (a pipe whose reader paused, a slow disk), because nobody but the writer
// ever waits for it. Standard output is the default; another sink (a file
// that rotates, for a service without a console) plugs in through
// SetLogSink() without touching the queue in front of it.
#pragma once

#include <memory>
#include <string_view>

namespace gw::bridge {

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Whole lines, each ending in '\n'; called only on the writer's thread.
  // A sink that cannot write drops the batch: nobody is there to tell.
  virtual void Write(std::string_view lines) = 0;
  // Called when the queue has run empty: the moment for a buffered sink to
  // push out what it holds.
  virtual void Flush() = 0;
};

// The process's standard output, written unbuffered in whole batches.
std::unique_ptr<LogSink> MakeStandardOutputSink();

}  // namespace gw::bridge
