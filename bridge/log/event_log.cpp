#include "bridge/log/event_log.h"

#include <sys/time.h>

#include <cstdarg>
#include <algorithm>
#include <cstring>
#include <ctime>

namespace gw::bridge {
namespace {

// The time prefix changes once a second; each thread keeps its last one.
void FormatTime(char* out, size_t size) {
  thread_local time_t lastSecond = -1;
  thread_local char prefix[32];
  timeval now;
  gettimeofday(&now, nullptr);
  if (now.tv_sec != lastSecond) {
    lastSecond = now.tv_sec;
    time_t japan = now.tv_sec + 9 * 3600;
    tm parts;
    gmtime_r(&japan, &parts);
    std::strftime(prefix, sizeof prefix, "%Y-%m-%dT%H:%M:%S", &parts);
  }
  std::snprintf(out, size, "%s.%03d+09:00 ", prefix, static_cast<int>(now.tv_usec / 1000));
}

void Write(const char* format, va_list args) {
  char line[1024];
  FormatTime(line, sizeof line);
  size_t used = std::strlen(line);
  int n = std::vsnprintf(line + used, sizeof line - used - 1, format, args);
  if (n < 0) return;
  used = std::min(sizeof line - 2, used + static_cast<size_t>(n));
  line[used++] = '\n';
  // One call per line: stdio's own lock keeps lines of threads apart.
  std::fwrite(line, 1, used, stdout);
}

}  // namespace

void LogLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(format, args);
  va_end(args);
}

void LogLineNow(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(format, args);
  va_end(args);
  std::fflush(stdout);
}

void FlushLog() { std::fflush(stdout); }

}  // namespace gw::bridge
