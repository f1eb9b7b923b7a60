// The bridge's log: one line per event (a request answered, an upstream
// fetch) on standard output, each starting with the time in Japan time.
// Lines are buffered and flushed by Flush(), which the server calls a few
// times a second, so that logging a request costs no system call of its own.
#pragma once

#include <cstdio>

// mingw's GCC takes plain "printf" for msvcrt's dialect; the bridge uses the
// C99 one everywhere (__USE_MINGW_ANSI_STDIO on Windows).
#define GW_LOG_FORMAT __attribute__((format(gnu_printf, 1, 2)))

namespace gw::bridge {

// printf-style; the line break is added. Safe from any thread.
void LogLine(const char* format, ...) GW_LOG_FORMAT;

// Writes out the buffered lines.
void FlushLog();

// Flushes after every line; for events that are rare and matter at once.
void LogLineNow(const char* format, ...) GW_LOG_FORMAT;

}  // namespace gw::bridge
