#include "bridge/reading/japan_time.h"

#include <chrono>
#include <cstdio>

namespace gw::bridge {
namespace {

constexpr int64_t kJapanOffsetSeconds = 9 * 3600;

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil), so that no call depends on the process's time zone.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (*month <= 2));
}

// Days since 1970-01-01 of the day in Japan at that moment, and the seconds
// into it.
int64_t JapanDays(int64_t unixSeconds, int64_t* second) {
  const int64_t local = unixSeconds + kJapanOffsetSeconds;
  const int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  *second = local - days * 86400;
  return days;
}

}  // namespace

int64_t JapanTimeToUnix(int year, int month, int day, int hour, int minute) {
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
         minute * 60 - kJapanOffsetSeconds;
}

std::string UnixToJapanIso(int64_t unixSeconds) {
  int64_t second;
  int year, month, day;
  CivilFromDays(JapanDays(unixSeconds, &second), &year, &month, &day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d+09:00", year, month, day,
                static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
  return text;
}

std::string JapanDateDigits(int64_t unixSeconds) {
  int64_t second;
  int year, month, day;
  CivilFromDays(JapanDays(unixSeconds, &second), &year, &month, &day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
  return text;
}

int64_t JapanDayStart(int64_t unixSeconds) {
  int64_t second;
  return JapanDays(unixSeconds, &second) * 86400 - kJapanOffsetSeconds;
}

int64_t SystemClock::UnixNow() const {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace gw::bridge
