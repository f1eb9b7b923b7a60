#include "bridge/log/log_stamp.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace gw::bridge {
namespace {

constexpr int64_t kJapanOffsetSeconds = 9 * 3600;

// Days since 1970-01-01 to a civil date (H. Hinnant's algorithm), so that no
// platform's gmtime variant is needed.
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shifted = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  *month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

void WriteStamp(int64_t unixMillis, char* out) {
  // The date and time change once a second; each thread keeps its last one.
  thread_local int64_t lastSecond = INT64_MIN;
  thread_local char prefix[48];
  const int64_t millis = ((unixMillis % 1000) + 1000) % 1000;
  const int64_t second = (unixMillis - millis) / 1000 + kJapanOffsetSeconds;
  if (second != lastSecond) {
    lastSecond = second;
    const int64_t days = (second >= 0 ? second : second - 86399) / 86400, inDay = second - days * 86400;
    int year, month, day;
    CivilFromDays(days, &year, &month, &day);
    std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day,
                  static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
  }
  std::snprintf(out, kStampSize, "%s.%03d+09:00 ", prefix, static_cast<int>(millis));
}

void WriteStampNow(char* out) {
  using namespace std::chrono;
  WriteStamp(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count(), out);
}

}  // namespace gw::bridge
