// Time as the bridge judges it. The operator's figures are in Japan time,
// which is UTC+9 all year (Japan keeps no daylight saving time), so a
// reading's moment is plain arithmetic and needs no time zone database.
// The clock is a seam so that tests can set "now".
#pragma once

#include <cstdint>
#include <string>

namespace gw::bridge {

// Seconds since 1970-01-01 UTC of a Japan-time date and time.
int64_t JapanTimeToUnix(int year, int month, int day, int hour, int minute = 0);

// The same moment as ISO 8601 in Japan time, e.g. 2026-12-07T14:00:00+09:00.
std::string UnixToJapanIso(int64_t unixSeconds);

// The day in Japan at that moment as YYYYMMDD, e.g. 20261207.
std::string JapanDateDigits(int64_t unixSeconds);
// The start (midnight in Japan) of the day of that moment, in Unix seconds.
int64_t JapanDayStart(int64_t unixSeconds);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t UnixNow() const = 0;
};

class SystemClock final : public Clock {
 public:
  int64_t UnixNow() const override;
};

}  // namespace gw::bridge
