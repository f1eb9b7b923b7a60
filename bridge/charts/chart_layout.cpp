#include "bridge/charts/chart_layout.h"

#include <algorithm>
#include <cstdio>

namespace gw::bridge {

int BandFloor(UsageBand band) {
  switch (band) {
    case UsageBand::kStable: return 0;
    case UsageBand::kSomewhatTight: return 92;
    case UsageBand::kTight: return 95;
    case UsageBand::kVeryTight: return 97;
  }
  return 0;
}

UsageBand BandForPercent(int64_t percent) {
  for (int b = kUsageBandCount - 1; b > 0; --b) {
    if (percent >= BandFloor(static_cast<UsageBand>(b))) return static_cast<UsageBand>(b);
  }
  return UsageBand::kStable;
}

const char* BandName(UsageBand band) {
  switch (band) {
    case UsageBand::kStable: return "安定的";
    case UsageBand::kSomewhatTight: return "やや厳しい";
    case UsageBand::kTight: return "厳しい";
    case UsageBand::kVeryTight: return "非常に厳しい";
  }
  return "";
}

uint32_t BandColour(UsageBand band) {
  // Green, yellow, orange and red, as the operators colour their own
  // forecasts; each a shade that stays apart from the others when printed
  // and for the commoner forms of colour blindness (by lightness).
  switch (band) {
    case UsageBand::kStable: return 0x3BAA5C;
    case UsageBand::kSomewhatTight: return 0xF2C230;
    case UsageBand::kTight: return 0xEE7D22;
    case UsageBand::kVeryTight: return 0xD7263D;
  }
  return 0x808080;
}

const char* BandRange(UsageBand band) {
  switch (band) {
    case UsageBand::kStable: return "〜92%";
    case UsageBand::kSomewhatTight: return "92〜95%";
    case UsageBand::kTight: return "95〜97%";
    case UsageBand::kVeryTight: return "97%〜";
  }
  return "";
}

int64_t UsagePercent(int64_t usage, int64_t capacity) {
  if (capacity <= 0 || usage < 0) return -1;
  return usage * 100 / capacity;
}

int32_t HourCapacity(const DayFigures& day, int hour) {
  const int32_t own = day.hours.at(static_cast<size_t>(hour)).capacity;
  if (own > 0) return own;
  return std::max(day.peakCapacity, 0);
}

HourBar BarForHour(const DayFigures& day, int hour) {
  HourBar bar;
  const int32_t actual = day.hours.at(static_cast<size_t>(hour)).actual;
  if (actual <= 0) return bar;
  bar.drawn = true;
  bar.percent = UsagePercent(actual, HourCapacity(day, hour));
  if (bar.percent >= 0) {
    bar.banded = true;
    bar.band = BandForPercent(bar.percent);
  }
  return bar;
}

AxisScale ScaleFor(int32_t highest) {
  // A twentieth of headroom keeps the highest line off the frame.
  const int64_t high = std::max<int64_t>(highest, 1);
  const int64_t needed = high + std::max<int64_t>(high / 20, 1);
  for (int64_t magnitude = 1;; magnitude *= 10) {
    for (int64_t factor : {1, 2, 5}) {
      const int64_t step = factor * magnitude;
      const int64_t steps = (needed + step - 1) / step;
      if (steps <= kMaxAxisSteps) {
        return AxisScale{static_cast<int32_t>(steps * step), static_cast<int32_t>(step)};
      }
    }
  }
}

int32_t HighestFigure(const DayFigures& day) {
  int32_t highest = 0;
  for (int hour = 0; hour < 24; ++hour) {
    const HourFigures& h = day.hours[static_cast<size_t>(hour)];
    highest = std::max({highest, h.actual, h.forecast, HourCapacity(day, hour)});
  }
  return highest;
}

double MeterDial::Degrees(double percent) {
  return 180.0 - 1.8 * std::min(std::max(percent, 0.0), 100.0);
}

std::string JapaneseDate(int32_t year, int32_t month, int32_t day) {
  return std::to_string(year) + "年" + std::to_string(month) + "月" + std::to_string(day) + "日";
}

std::string StampClock(const std::string& iso) {
  // "YYYY-MM-DDTHH:MM..." : the clock is the five characters after the T.
  if (iso.size() < 16 || iso[10] != 'T' || iso[13] != ':') return {};
  for (size_t at : {11u, 12u, 14u, 15u}) {
    if (iso[at] < '0' || iso[at] > '9') return {};
  }
  return iso.substr(11, 5);
}

}  // namespace gw::bridge
