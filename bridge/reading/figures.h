// What the bridge knows of one day on the grid, as read from the operator's
// published file, and the one reading it serves to plug-ins. Figures are in
// units of 10,000 kW (万kW), as the operator publishes them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace gw::bridge {

// One row of today's hourly table. A figure the file does not give for that
// hour (an hour still to come, a column the area does not publish) is 0.
struct HourFigures {
  int32_t actual = 0;    // 当日実績: 0 until the hour has come
  int32_t forecast = 0;  // 予測値
  int32_t capacity = 0;  // 供給力 for the hour; 0 where the file has none
  int32_t percent = -1;  // the file's own 使用率(%) for the hour; -1 where none
};

// The operator's forecast of one day, from its head blocks: the hour of the
// highest demand (ピーク時供給力, 予想最大電力) and the tightest hour, whose
// usage of the supply is the highest (the 使用率ピーク時 blocks). A figure
// the file does not give is 0, an hour -1, a percentage -1: never shown as
// a 0 %.
struct DayForecast {
  int32_t year = 0, month = 0, day = 0;  // the day forecast
  int32_t peakSupply = 0;                // ピーク時供給力
  int32_t peakSupplyHour = -1;           // the start of its 時間帯
  int32_t forecastPeak = 0;              // 予想最大電力
  int32_t forecastPeakHour = -1;
  int32_t tightHour = -1;     // the start of the tightest hour's 時間帯
  int32_t tightSupply = 0;    // 使用率ピーク時供給力
  int32_t tightDemand = 0;    // 使用率ピーク時予想最大電力
  int32_t tightPercent = -1;  // its 使用率: the file's own, else demand / supply, truncated

  bool Given() const {
    return peakSupply > 0 || forecastPeak > 0 || tightSupply > 0 || tightDemand > 0 || tightPercent >= 0;
  }
};

// Today's and tomorrow's forecasts as the file of `today` gives them.
struct Outlook {
  DayForecast today, tomorrow;
};

// Today's figures: the head blocks and the hourly table of the first day in
// the file (never tomorrow's blocks that follow), and the operator's outlook
// for the day and the next.
struct DayFigures {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t peakCapacity = 0;    // ピーク時供給力 of the day
  int32_t forecastPeak = 0;    // 予想最大電力 of the day
  int32_t forecastPeakHour = -1;  // the start of its 時間帯 (18 for 18:00～19:00); -1 where not given
  std::string updated;         // the stamp line as ISO 8601 in Japan time,
                               // e.g. "2026-12-07T14:55:00+09:00"
  std::array<HourFigures, 24> hours{};
  Outlook outlook;
};

// The reading that /latest.json serves: the latest hour with an actual.
struct Reading {
  int32_t usage = 0;
  int32_t capacity = 0;
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  // usage / capacity * 100, truncated, as the plug-in computes it.
  uint32_t percent = 0;
  std::string updated;  // as DayFigures::updated
};

}  // namespace gw::bridge
