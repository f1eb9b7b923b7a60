#include "bridge/charts/chart_layout.h"

#include <gtest/gtest.h>

#include <set>

namespace gw::bridge {
namespace {

TEST(ChartLayout, BandsStartAtTheirLowerBound) {
  const struct {
    int64_t percent;
    UsageBand band;
  } cases[] = {
      {0, UsageBand::kStable},         {91, UsageBand::kStable},
      {92, UsageBand::kSomewhatTight}, {94, UsageBand::kSomewhatTight},
      {95, UsageBand::kTight},         {96, UsageBand::kTight},
      {97, UsageBand::kVeryTight},     {100, UsageBand::kVeryTight},
      {130, UsageBand::kVeryTight},
  };
  for (const auto& c : cases) EXPECT_EQ(BandForPercent(c.percent), c.band) << c.percent << "%";
}

TEST(ChartLayout, EachBandHasItsOwnNameColourAndRange) {
  std::set<uint32_t> colours;
  std::set<std::string> names;
  for (int b = 0; b < kUsageBandCount; ++b) {
    const auto band = static_cast<UsageBand>(b);
    colours.insert(BandColour(band));
    names.insert(BandName(band));
  }
  EXPECT_EQ(colours.size(), 4u);
  EXPECT_EQ(names, (std::set<std::string>{"安定的", "やや厳しい", "厳しい", "非常に厳しい"}));
  EXPECT_EQ(colours.count(kForecastColour), 0u);
  EXPECT_EQ(colours.count(kCapacityColour), 0u);
  EXPECT_STREQ(BandRange(UsageBand::kSomewhatTight), "92〜95%");
}

TEST(ChartLayout, PercentIsTruncatedAsThePlugInComputesIt) {
  EXPECT_EQ(UsagePercent(3869, 4740), 81);  // 81.6
  // 91.99 % must stay 安定的: rounding would call it やや厳しい.
  EXPECT_EQ(UsagePercent(9199, 10000), 91);
  EXPECT_EQ(UsagePercent(4750, 4750), 100);
  EXPECT_EQ(UsagePercent(5000, 4000), 125);
  EXPECT_EQ(UsagePercent(3869, 0), -1);
  EXPECT_EQ(UsagePercent(-1, 4000), -1);
  // Figures far beyond any grid's must not overflow.
  EXPECT_EQ(UsagePercent(2000000000, 2000000000), 100);
}

DayFigures DayWith(int32_t peakCapacity) {
  DayFigures day;
  day.peakCapacity = peakCapacity;
  return day;
}

TEST(ChartLayout, BarsBandByTheHoursCapacityOrTheDaysPeak) {
  DayFigures day = DayWith(5000);
  day.hours[9] = {4600, 4500, 4800, -1};  // 95.8 % of its own capacity
  day.hours[10] = {4600, 4500, 0, -1};    // 92 % of the day's peak
  day.hours[11] = {0, 4500, 4800, -1};    // still to come
  EXPECT_EQ(HourCapacity(day, 9), 4800);
  EXPECT_EQ(HourCapacity(day, 10), 5000);

  const HourBar own = BarForHour(day, 9);
  EXPECT_TRUE(own.drawn && own.banded);
  EXPECT_EQ(own.band, UsageBand::kTight);
  EXPECT_EQ(own.percent, 95);
  const HourBar peak = BarForHour(day, 10);
  EXPECT_TRUE(peak.drawn && peak.banded);
  EXPECT_EQ(peak.band, UsageBand::kSomewhatTight);
  EXPECT_FALSE(BarForHour(day, 11).drawn);
}

TEST(ChartLayout, ABarWithoutAnyCapacityIsDrawnButNotBanded) {
  DayFigures day = DayWith(0);
  day.hours[3].actual = 2700;
  const HourBar bar = BarForHour(day, 3);
  EXPECT_TRUE(bar.drawn);
  EXPECT_FALSE(bar.banded);
  EXPECT_EQ(bar.percent, -1);
  EXPECT_EQ(HourCapacity(day, 3), 0);
}

TEST(ChartLayout, HighestFigureCoversActualsForecastsAndCapacities) {
  DayFigures day = DayWith(5100);
  day.hours[14].actual = 3869;
  EXPECT_EQ(HighestFigure(day), 5100);  // the peak stands in for every hour
  day.hours[18].forecast = 5300;
  EXPECT_EQ(HighestFigure(day), 5300);
  day.hours[2].capacity = 5400;
  EXPECT_EQ(HighestFigure(day), 5400);
  day.hours[20].actual = 5600;
  EXPECT_EQ(HighestFigure(day), 5600);
}

TEST(ChartLayout, AxisScalesOfTypicalDays) {
  const struct {
    int32_t highest;
    int32_t top;
    int32_t step;
  } cases[] = {
      {5100, 6000, 1000},  // Tokyo in winter
      {4000, 5000, 1000},  // room above a figure on a round number
      {1480, 2000, 500},   // a smaller area
      {950, 1000, 200},
      {0, 2, 1},           // nothing to show yet
  };
  for (const auto& c : cases) {
    const AxisScale scale = ScaleFor(c.highest);
    EXPECT_EQ(scale.top, c.top) << c.highest;
    EXPECT_EQ(scale.step, c.step) << c.highest;
  }
}

// Whatever the figures, the axis is round, holds them with room to spare,
// and uses the finest round step that needs no more than six of them.
TEST(ChartLayout, AxisScalesAreRoundRoomyAndFine) {
  auto round = [](int32_t step) {
    while (step % 10 == 0) step /= 10;
    return step == 1 || step == 2 || step == 5;
  };
  auto finer = [](int32_t step) {
    int32_t magnitude = 1;
    while (step / magnitude >= 10) magnitude *= 10;
    const int32_t lead = step / magnitude;
    return lead == 1 ? magnitude / 2 : lead == 2 ? magnitude : 2 * magnitude;
  };
  for (int32_t highest = 1; highest < 200000; highest += (highest < 1000 ? 1 : 37)) {
    const AxisScale s = ScaleFor(highest);
    ASSERT_TRUE(round(s.step)) << highest;
    ASSERT_EQ(s.top % s.step, 0) << highest;
    ASSERT_LE(s.top / s.step, kMaxAxisSteps) << highest;
    ASSERT_GE(s.top, highest + std::max(highest / 20, 1)) << highest;
    const int32_t finerStep = finer(s.step);
    if (finerStep > 0) {
      const int32_t needed = highest + std::max(highest / 20, 1);
      ASSERT_GT((needed + finerStep - 1) / finerStep, kMaxAxisSteps) << highest;
    }
  }
}

TEST(ChartLayout, DialRunsFromLeftOverTheTopToRight) {
  EXPECT_DOUBLE_EQ(MeterDial::Degrees(0), 180);
  EXPECT_DOUBLE_EQ(MeterDial::Degrees(50), 90);
  EXPECT_DOUBLE_EQ(MeterDial::Degrees(100), 0);
  EXPECT_DOUBLE_EQ(MeterDial::Degrees(125), 0);
  EXPECT_DOUBLE_EQ(MeterDial::Degrees(-5), 180);
}

TEST(ChartLayout, JapaneseTexts) {
  EXPECT_EQ(JapaneseDate(2026, 12, 7), "2026年12月7日");
  EXPECT_EQ(StampClock("2026-12-07T14:55:00+09:00"), "14:55");
  EXPECT_EQ(StampClock("2026-12-07T04:05:00+09:00"), "04:05");
  EXPECT_EQ(StampClock(""), "");
  EXPECT_EQ(StampClock("2026-12-07 14:55"), "");
  EXPECT_EQ(StampClock("2026-12-07T1x:55"), "");
}

}  // namespace
}  // namespace gw::bridge
