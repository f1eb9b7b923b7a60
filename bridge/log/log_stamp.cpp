#include "bridge/log/log_stamp.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "bridge/reading/japan_time.h"

namespace gw::bridge {

void WriteStamp(int64_t unixMillis, char* out) {
  // The date and time change once a second; each thread keeps its last one.
  thread_local int64_t lastSecond = INT64_MIN;
  thread_local std::string prefix;  // "YYYY-MM-DDTHH:MM:SS", without the zone
  const int64_t millis = ((unixMillis % 1000) + 1000) % 1000;
  const int64_t second = (unixMillis - millis) / 1000;
  if (second != lastSecond) {
    lastSecond = second;
    prefix = UnixToJapanIso(second).substr(0, 19);
  }
  std::snprintf(out, kStampSize, "%s.%03d+09:00 ", prefix.c_str(), static_cast<int>(millis));
}

void WriteStampNow(char* out) {
  using namespace std::chrono;
  WriteStamp(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count(), out);
}

}  // namespace gw::bridge
