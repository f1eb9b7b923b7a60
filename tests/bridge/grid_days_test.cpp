// The grid's real bad days, by their shape, through the reader and the
// poller with a set clock: the hour before is taken first, as a running
// bridge would hold it, then the hour itself. A blackout, its dark hours,
// its restoration, a rolling outage, the year's quietest day, a noon of
// strong solar and a supply emergency are served as they are, on the very
// days an alert is for; the wrong files of earlier fault hunts are still
// refused. No sockets and no fonts, so that the Windows bridge's reader and
// poller run the same table under Wine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "bridge/cache/cache.h"
#include "bridge/cache/metrics.h"
#include "bridge/charts/chart.h"
#include "bridge/reading/japan_time.h"
#include "bridge/upstream/poller.h"
#include "support/operator_csv.h"

namespace {

using gwtest::OperatorCsv;
using testing::HasSubstr;

class SetClock final : public gw::bridge::Clock {
 public:
  int64_t UnixNow() const override { return now_.load(); }
  void Set(int64_t unixSeconds) { now_ = unixSeconds; }

 private:
  std::atomic<int64_t> now_{0};
};

// The graphs are not what this table is about: any bytes will do.
class PlainDrawer final : public gw::bridge::ChartDrawer {
 public:
  std::string DrawMeter(const gw::bridge::Reading&, const std::string&) override { return "GIF89a"; }
  std::string DrawDay(const gw::bridge::Reading&, const gw::bridge::DayFigures&, const std::string&) override {
    return "GIF89a";
  }
};

// An hour as the operator writes it: the actual, the supply (0: not given)
// and the 使用率 rounded from them.
struct Hour {
  int actual, supply;
};

// A file of `area`'s size on `date`, stamped at `hour`:55, whose hours from
// 0 carry `hours`; a row without a supply column takes the day's peak supply.
OperatorCsv Day(int scalePercent, int year, int month, int day, const std::vector<Hour>& hours) {
  OperatorCsv csv;
  csv.scalePercent = scalePercent;
  csv.year = year;
  csv.month = month;
  csv.day = day;
  csv.hoursWithActual = static_cast<int>(hours.size());
  csv.stampTime = std::to_string(hours.size() - 1) + ":55";
  for (size_t h = 0; h < hours.size(); ++h) {
    const int hour = static_cast<int>(h);
    csv.actualText[hour] = std::to_string(hours[h].actual);
    csv.supplyText[hour] = std::to_string(hours[h].supply);
    csv.percentText[hour] =
        hours[h].supply > 0 ? std::to_string(std::lround(hours[h].actual * 100.0 / hours[h].supply)) : "0";
  }
  return csv;
}

// The same day an hour earlier, as the bridge read it then.
OperatorCsv HourBefore(OperatorCsv csv) {
  const int hour = --csv.hoursWithActual;
  csv.actualText.erase(hour);
  csv.percentText.erase(hour);
  csv.stampTime = std::to_string(hour - 1) + ":55";
  return csv;
}

int64_t StampOf(const OperatorCsv& csv) {
  const int hour = std::stoi(csv.stampTime);
  const int minute = std::stoi(csv.stampTime.substr(csv.stampTime.find(':') + 1));
  return gw::bridge::JapanTimeToUnix(csv.year, csv.month, csv.day, hour, minute);
}

// Hokkaido, 2018-09-06: the whole area went dark at 3:07. 3時 is the hour
// the blackout cut (41 of 480 after 297); 4-6時 are dark, their supply
// given or written 0; demand then comes back on a short supply of 200.
std::vector<Hour> HokkaidoBlackout(int lastHour, int darkSupply) {
  const Hour morning[] = {{300, 480}, {290, 480}, {297, 480}, {41, 480}, {0, darkSupply}, {0, darkSupply},
                          {0, darkSupply}, {40, 200}, {50, 200}, {60, 200}, {70, 200}, {110, 200},
                          {120, 200}, {125, 200}, {130, 200}, {135, 200}, {140, 200}, {150, 200}, {160, 200}};
  return std::vector<Hour>(morning, morning + lastHour + 1);
}

constexpr int kHokkaido = 9;  // per cent of Tokyo's figures, for the day's forecasts and head blocks
constexpr int kKyushu = 25;
constexpr int kOkinawa = 3;

struct DayShape {
  const char* what;
  const char* area;
  OperatorCsv file;
  bool heldBefore;  // the hour before is read first
  // The reading served, or, when `refusal` is set, none.
  int hour, usage, capacity;
  const char* refusal;
};

std::vector<DayShape> DaysByTheirShape() {
  std::vector<DayShape> days;
  days.push_back({"the blackout day's evening, the dark hours' supply given", "hokkaido",
                  Day(kHokkaido, 2018, 9, 6, HokkaidoBlackout(18, 200)), true, 18, 160, 200, nullptr});
  days.push_back({"the blackout day's evening, the dark hours' supply written 0", "hokkaido",
                  Day(kHokkaido, 2018, 9, 6, HokkaidoBlackout(18, 0)), true, 18, 160, 200, nullptr});
  days.push_back({"a steep restoration hour: 10時 70, 11時 110", "hokkaido",
                  Day(kHokkaido, 2018, 9, 6, HokkaidoBlackout(11, 0)), true, 11, 110, 200, nullptr});
  days.push_back({"the blackout hour itself: 41 of 480 after 297", "hokkaido",
                  Day(kHokkaido, 2018, 9, 6, HokkaidoBlackout(3, 0)), true, 3, 41, 480, nullptr});

  // Tokyo, 2011-03-14, in the table of the time (no supply column, the day's
  // peak supply): the rolling outages begin and cut demand by a quarter.
  OperatorCsv rolling = Day(100, 2011, 3, 14, {{2900, 0}, {2780, 0}, {2700, 0}, {2680, 0}, {2700, 0}, {2790, 0},
                                               {2950, 0}, {3000, 0}, {2250, 0}});
  rolling.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)"};
  rolling.peakSupply = 3100;
  rolling.forecastPeak = 3700;
  days.push_back({"a rolling-outage morning: a quarter less within an hour", "tokyo", rolling, true, 8, 2250, 3100,
                  nullptr});

  days.push_back({"New Year's Day's low", "tokyo",
                  Day(100, 2027, 1, 1, {{2900, 3900}, {2750, 3900}, {2650, 3900}, {2580, 3900}, {2540, 3900},
                                        {2520, 3900}}),
                  true, 5, 2520, 3900, nullptr});

  // Kyushu, 2026-05-03: the area's demand falls towards noon as the sun
  // rises over its rooftops, with plenty of supply.
  std::vector<Hour> goldenWeek(8, Hour{820, 1400});
  for (int demand : {800, 760, 700, 650, 600}) goldenWeek.push_back({demand, 1500});
  OperatorCsv solar = Day(kKyushu, 2026, 5, 3, goldenWeek);
  solar.padded = true;
  solar.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)", "使用率(%)", "予備率(%)", "供給力(万kW)"};
  days.push_back({"a Golden Week noon with strong solar", "kyushu", solar, true, 12, 600, 1500, nullptr});

  // Tokyo, 2022-03-22: demand above the supply planned, after a plant's
  // earthquake damage in a cold rain.
  days.push_back({"a supply emergency over 100 %", "tokyo",
                  Day(100, 2022, 3, 22, std::vector<Hour>(13, Hour{4300, 4000})), true, 12, 4300, 4000, nullptr});
  days.back().file.actualText[12] = "4480";
  days.back().file.percentText[12] = "112";
  days.back().usage = 4480;

  // The wrong files of the last fault hunt, on a fresh start.
  OperatorCsv hundredTimes;
  hundredTimes.scalePercent = kOkinawa * 100;
  days.push_back({"Okinawa's file with every figure a hundred times", "okinawa", hundredTimes, false, 0, 0, 0,
                  "above okinawa's bound of 240 万kW"});
  days.push_back({"Tokyo's file of 1 of 1 万kW", "tokyo", Day(100, 2026, 12, 7, std::vector<Hour>(15, Hour{1, 1})),
                  false, 0, 0, 0, "1 万kW is below tokyo's bound of 643"});
  days.push_back({"a whole day at 150 % of its supply", "tokyo",
                  Day(100, 2026, 12, 7, std::vector<Hour>(15, Hour{4500, 3000})), false, 0, 0, 0,
                  "usage 4500 of a supply of 3000 万kW (150.0 %) is beyond 120 %"});
  return days;
}

TEST(GridDays, RealDaysAreServedAsTheyAreAndWrongFilesAreRefused) {
  for (const DayShape& d : DaysByTheirShape()) {
    SCOPED_TRACE(d.what);
    SetClock clock;
    clock.Set(StampOf(d.file) + 60);
    gw::bridge::Cache cache;
    gw::bridge::Metrics metrics;
    PlainDrawer drawer;
    gw::bridge::Poller poller({gw::bridge::FindArea(d.area), "http://127.0.0.1:9/unused.csv", 3 * 3600, 3600}, cache,
                              metrics, drawer, clock);
    std::string outcome;
    if (d.heldBefore) {
      const OperatorCsv before = HourBefore(d.file);
      if (!poller.Take(before.Bytes(), &outcome) || cache.Current() == nullptr) {
        ADD_FAILURE() << "the hour before: " << outcome;
        continue;
      }
      EXPECT_EQ(cache.Current()->reading.hour, d.hour - 1);
    }
    const bool taken = poller.Take(d.file.Bytes(), &outcome);
    if (d.refusal != nullptr) {
      EXPECT_FALSE(taken);
      EXPECT_THAT(outcome, HasSubstr(d.refusal));
      EXPECT_EQ(cache.Current(), nullptr) << "nothing served";
      continue;
    }
    const auto snapshot = cache.Current();
    if (!taken || snapshot == nullptr) {
      ADD_FAILURE() << outcome;
      continue;
    }
    const gw::bridge::Reading& r = snapshot->reading;
    EXPECT_EQ((std::vector<int>{r.year, r.month, r.day, r.hour, r.usage, r.capacity}),
              (std::vector<int>{d.file.year, d.file.month, d.file.day, d.hour, d.usage, d.capacity}));
    EXPECT_EQ(r.percent, static_cast<uint32_t>(d.usage * 100 / d.capacity));
    // Every hour of the day is drawn as the operator wrote it, the dark
    // and the cut ones too.
    for (int hour = 0; hour <= d.hour; ++hour) {
      EXPECT_EQ(std::to_string(snapshot->day.hours[static_cast<size_t>(hour)].actual), d.file.actualText.at(hour))
          << hour << "時";
    }
  }
}

}  // namespace
