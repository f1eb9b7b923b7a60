// The bridge's log: one line per event (a request answered, an upstream
// fetch), each starting with the time in Japan time. Logging never waits for
// whoever reads the log: lines go through a bounded queue (log_queue.h) to
// one writer thread, and are dropped and counted when it falls behind.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "bridge/log/log_sink.h"

// mingw's GCC takes plain "printf" for msvcrt's dialect; the bridge uses the
// C99 one everywhere (__USE_MINGW_ANSI_STDIO on Windows).
#define GW_LOG_FORMAT __attribute__((format(gnu_printf, 1, 2)))

namespace gw::bridge {

// Every line is written with its control characters escaped as \u001b, as
// the JSON writes them: text from outside (a cell of the operator's file, a
// client's request) could otherwise move or recolour a terminal, or break
// one line into what looks like two. The C1 controls U+0080 to U+009F, which
// some terminals obey too, likewise. Notices are passed on so escaped.
std::string EscapeControls(std::string_view text);

// printf-style; the line break is added. Safe from any thread; never blocks
// on the log's sink.
void LogLine(const char* format, ...) GW_LOG_FORMAT;

// For events that are rare and matter (start, stop, upstream fetches): these
// may use a reserve kept for them when the queue is full of request lines.
void LogLineNow(const char* format, ...) GW_LOG_FORMAT;

// The few events someone must hear of even when nobody reads the log: an
// area has had no fresh reading for too long, and its end. Each is a log
// line first; a platform may also pass it on (Windows: to the Event Log).
enum class Notice { kAlarm, kAlarmOver };
void LogNotice(Notice notice, const std::string& line);

// Where notices go besides the log from now on; none by default. Called on
// the thread that logs the notice, which must not wait long in it.
using NoticeForwarder = std::function<void(Notice notice, const std::string& line)>;
void SetNoticeForwarder(NoticeForwarder forward);

// Lines dropped because the log's reader did not keep up.
uint64_t LogLinesDropped();

// Where lines go from now on (standard output until then).
void SetLogSink(std::unique_ptr<LogSink> sink);

// At the end: waits at most `grace` for the queued lines to be written;
// false when the sink did not take them in time. The process may then exit:
// a writer stuck in its sink is not waited for.
bool StopLog(std::chrono::milliseconds grace);

}  // namespace gw::bridge
