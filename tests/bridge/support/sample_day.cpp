#include "support/sample_day.h"

namespace gwtest {

gw::bridge::DayFigures AfternoonDay() {
  gw::bridge::DayFigures day;
  day.year = 2026;
  day.month = 12;
  day.day = 7;
  day.peakCapacity = 5100;
  day.forecastPeak = 4620;
  day.updated = "2026-12-07T14:55:00+09:00";
  for (int h = 0; h < 24; ++h) day.hours[h] = {0, 3400 + 40 * h, 4740, -1};
  for (int h = 0; h <= 14; ++h) day.hours[h].actual = 3000 + 20 * h;  // about 63-69 %
  day.hours[9].actual = 4400;   // 92.8 %: やや厳しい
  day.hours[10].actual = 4550;  // 95.9 %: 厳しい
  day.hours[11].actual = 4650;  // 98.1 %: 非常に厳しい
  day.hours[12].capacity = 0;   // 4600 of the peak 5100: 90.1 %, 安定的
  day.hours[12].actual = 4600;
  day.hours[14].actual = 3869;
  return day;
}

gw::bridge::Reading AfternoonReading() {
  return gw::bridge::Reading{3869, 4740, 2026, 12, 7, 14, 81, "2026-12-07T14:55:00+09:00"};
}

}  // namespace gwtest
