#include "bridge/log/event_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

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
  char text[kLineBytes];
  const int n = std::vsnprintf(text, sizeof text, format, args);
  if (n < 0) return;
  char stamp[kStampSize];
  WriteStampNow(stamp);
  std::string line = stamp + EscapeControls(std::string_view(text, std::min(sizeof text - 1, static_cast<size_t>(n))));
  line.resize(std::min(line.size(), kLineBytes - 2));
  line += '\n';
  TheLog().Push(line, urgent);
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    unsigned control = 0x100;  // none
    if (c < 0x20 || c == 0x7F) {
      control = c;
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      control = next;  // U+0080 to U+009F, as UTF-8 writes them
      ++i;
    }
    if (control == 0x100) {
      out += static_cast<char>(c);
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", control);
    out += escape;
  }
  return out;
}

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
  if (Forwarder()) Forwarder()(notice, EscapeControls(line));
}

void SetNoticeForwarder(NoticeForwarder forward) {
  std::lock_guard<std::mutex> hold(forwarderLock);
  Forwarder() = std::move(forward);
}

uint64_t LogLinesDropped() { return TheLog().Dropped(); }

void SetLogSink(std::unique_ptr<LogSink> sink) { TheLog().ReplaceSink(std::move(sink)); }

bool StopLog(std::chrono::milliseconds grace) { return TheLog().Stop(grace); }

}  // namespace gw::bridge
