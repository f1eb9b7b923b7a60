// The decisions behind the two graphs that do not depend on a drawing
// library: which usage band an hour falls in and its colour, the scale of the
// demand axis, and the Japanese texts. Kept apart from the drawer so that a
// drawer on another platform draws the same graphs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/reading/figures.h"

namespace gw::bridge {

// The operators' own bands of the usage percentage. Each band starts at its
// lower bound: 92 % is already やや厳しい, 97 % already 非常に厳しい.
enum class UsageBand { kStable, kSomewhatTight, kTight, kVeryTight };

constexpr int kUsageBandCount = 4;

UsageBand BandForPercent(int64_t percent);
// The band's lower bound in percent: 0, 92, 95 or 97.
int BandFloor(UsageBand band);
// The band's name as the operators publish it, in UTF-8 (e.g. "安定的").
const char* BandName(UsageBand band);
// The band's colour as 0xRRGGBB: green, yellow, orange, red.
uint32_t BandColour(UsageBand band);
// The band's range as a short label, e.g. "92〜95%".
const char* BandRange(UsageBand band);

// The usage percentage as the plug-in computes it: truncated, so that the
// number a graph shows and the band it colours never disagree. -1 when the
// capacity is unknown (0 or less).
int64_t UsagePercent(int64_t usage, int64_t capacity);

// The supply capacity of an hour: its own figure, or the day's peak supply
// capacity where the file gives none for the hour. 0 when neither is known.
int32_t HourCapacity(const DayFigures& day, int hour);

// What the day graph draws for one hour's bar.
struct HourBar {
  bool drawn = false;       // false for an hour still to come
  bool banded = false;      // false when no capacity is known to band it by
  UsageBand band = UsageBand::kStable;
  int64_t percent = -1;
};

HourBar BarForHour(const DayFigures& day, int hour);

// The demand axis: from 0 to `top` in steps of `step`, both round numbers
// (1, 2 or 5 times a power of ten), with at most kMaxAxisSteps steps and room
// above the highest figure so that no line runs along the frame.
struct AxisScale {
  int32_t top = 0;
  int32_t step = 0;
};

constexpr int kMaxAxisSteps = 6;

AxisScale ScaleFor(int32_t highest);
// The highest figure the day graph shows: actuals, forecasts and capacities.
int32_t HighestFigure(const DayFigures& day);

// The line colours of the day graph, as 0xRRGGBB: a blue for the forecast
// and a dark slate for the supply capacity, apart from every band colour.
constexpr uint32_t kForecastColour = 0x2F6DB5;
constexpr uint32_t kCapacityColour = 0x3A4452;

// Where the day graph puts things, in pixels of its image.
struct DayPlot {
  static constexpr int kWidth = 500;
  static constexpr int kHeight = 340;
  double left = 54, right = 486, top = 70, bottom = 272;
  AxisScale scale;

  // Each hour has a slot of equal width; hour 0 at the left.
  double Slot() const { return (right - left) / 24; }
  double SlotLeft(int hour) const { return left + Slot() * hour; }
  double SlotCentre(int hour) const { return SlotLeft(hour) + Slot() / 2; }
  // The height of a figure in 万kW on the demand axis.
  double Y(double figure) const { return bottom - figure / scale.top * (bottom - top); }
};

// The meter's dial: a half ring from 0 % on the left over the top to 100 %
// on the right, filled up to the usage in the colour of its band.
struct MeterDial {
  static constexpr int kWidth = 500;
  static constexpr int kHeight = 260;
  double cx = 150, cy = 214, inner = 86, outer = 118;

  // The angle of a percentage, in degrees anticlockwise from the right;
  // percentages past either end stay at that end.
  static double Degrees(double percent);
};

// "2026年12月7日"
std::string JapaneseDate(int32_t year, int32_t month, int32_t day);
// "14:55" from an ISO 8601 stamp such as "2026-12-07T14:55:00+09:00"; empty
// when the stamp is not of that form.
std::string StampClock(const std::string& iso);

}  // namespace gw::bridge
