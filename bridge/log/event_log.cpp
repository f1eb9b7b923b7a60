#include "bridge/log/event_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "bridge/log/log_queue.h"
#include "bridge/log/log_stamp.h"

namespace gw::bridge {
namespace {

// About 5,000 request lines: enough to ride out a reader's hiccup, small
// beside the bridge's memory. The reserve keeps room for rare lines.
constexpr size_t kQueueBytes = 512 * 1024;
constexpr size_t kUrgentReserveBytes = 32 * 1024;
constexpr size_t kLineBytes = 1024;

// Made on first use and never destroyed: a writer stuck in its sink must not
// hold up the process's exit in a destructor.
LogQueue& TheLog() {
  static LogQueue* log = new LogQueue(MakeStandardOutputSink(), kQueueBytes, kUrgentReserveBytes);
  return *log;
}

void Push(bool urgent, const char* format, va_list args) {
  char line[kLineBytes];
  WriteStampNow(line);
  size_t used = std::strlen(line);
  int n = std::vsnprintf(line + used, sizeof line - used - 1, format, args);
  if (n < 0) return;
  used = std::min(sizeof line - 2, used + static_cast<size_t>(n));
  line[used++] = '\n';
  TheLog().Push(std::string_view(line, used), urgent);
}

}  // namespace

void LogLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Push(false, format, args);
  va_end(args);
}

void LogLineNow(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Push(true, format, args);
  va_end(args);
}

namespace {

std::mutex forwarderLock;
NoticeForwarder& Forwarder() {
  static NoticeForwarder* forward = new NoticeForwarder;  // never destroyed, as the log
  return *forward;
}

}  // namespace

void LogNotice(Notice notice, const std::string& line) {
  LogLineNow("%s", line.c_str());
  std::lock_guard<std::mutex> hold(forwarderLock);
  if (Forwarder()) Forwarder()(notice, line);
}

void SetNoticeForwarder(NoticeForwarder forward) {
  std::lock_guard<std::mutex> hold(forwarderLock);
  Forwarder() = std::move(forward);
}

uint64_t LogLinesDropped() { return TheLog().Dropped(); }

void SetLogSink(std::unique_ptr<LogSink> sink) { TheLog().ReplaceSink(std::move(sink)); }

bool StopLog(std::chrono::milliseconds grace) { return TheLog().Stop(grace); }

}  // namespace gw::bridge
