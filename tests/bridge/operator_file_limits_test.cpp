// What no real file holds: a stamp of another day, and figures beyond any
// grid. Each is refused with a reason that names it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "bridge/reading/operator_file.h"
#include "support/operator_csv.h"

namespace {

using gwtest::OperatorCsv;

const gw::bridge::Area& Tokyo() { return *gw::bridge::FindArea("tokyo"); }
using testing::HasSubstr;

// The reason a file is refused; the status page says more of it than that
// the file cannot be read.
std::string Refusal(const OperatorCsv& csv) {
  std::string reason, said;
  EXPECT_FALSE(gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason, &said).has_value())
      << "taken, but should be refused";
  EXPECT_NE(said, "ファイルの形が読めません") << reason;
  return reason;
}

bool Taken(const OperatorCsv& csv) {
  std::string reason;
  return gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason).has_value();
}

// The operators go on writing a day's file after midnight: Kansai's day
// files are stamped about 1:10 the next day.
TEST(OperatorFileLimits, TheStampIsOfTheTablesDayOrOfTheNextDaysFirstHours) {
  const std::pair<const char*, const char*> refused[] = {
      {"2099/1/1", "0:00"}, {"2026/12/6", "23:55"}, {"2026/12/8", "3:01"}, {"2026/12/9", "0:05"}};
  for (const auto& [date, time] : refused) {
    OperatorCsv csv;
    csv.stampDate = date;
    csv.stampTime = time;
    EXPECT_THAT(Refusal(csv), HasSubstr("not of the hourly table's day")) << date << " " << time;
  }
  for (const char* time : {"0:55", "1:10", "3:00"}) {
    OperatorCsv lastHour;
    lastHour.hoursWithActual = 24;
    lastHour.stampDate = "2026/12/8";
    lastHour.stampTime = time;
    EXPECT_TRUE(Taken(lastHour)) << time;
  }
  OperatorCsv noActualYet;
  noActualYet.hoursWithActual = 0;
  noActualYet.stampTime = "0:00";
  EXPECT_TRUE(Taken(noActualYet));
}

TEST(OperatorFileLimits, AStampBeforeTheReadingsHourIsRefused) {
  OperatorCsv csv;
  csv.stampTime = "13:55";  // but 14時 has an actual
  EXPECT_THAT(Refusal(csv), HasSubstr("earlier than the hour 14時"));
  csv.stampTime = "14:00";
  EXPECT_TRUE(Taken(csv));
}

// Each area's supply and forecasts lie between a tenth of its record peak
// and half as much again (Tokyo: 643 and 9645 万kW), in every hour, the
// last as well, and in every head block; the reading's actual no higher.
// The percentage never wraps: 999999999 of 1 is refused long before.
TEST(OperatorFileLimits, FiguresOutsideTheirAreasSizeAreRefused) {
  struct Case {
    int hour;
    const char *actual, *supply, *percent, *forecast;
    int peakSupply;
    const char* reason;  // empty: taken
  };
  const Case cases[] = {
      {14, "999999999", nullptr, "19607", nullptr, 5100, "999999999 万kW is above tokyo's bound of 9645 万kW"},
      {14, "1", "1", "100", nullptr, 5100, "14時: 1 万kW is below tokyo's bound of 643 万kW"},
      {14, "10000", "9645", "104", nullptr, 9645, "14時: 10000 万kW is above tokyo's bound of 9645"},  // 104 %
      {20, nullptr, "642", nullptr, nullptr, 5100, "20時: 642 万kW is below"},
      {23, nullptr, "99999", nullptr, nullptr, 5100, "23時: 99999 万kW is above"},
      {23, nullptr, nullptr, nullptr, "99999", 5100, "23時: 99999 万kW is above"},
      {0, nullptr, nullptr, nullptr, "642", 5100, "0時: 642 万kW is below"},
      {3, nullptr, nullptr, nullptr, nullptr, 51000, "51000 万kW is above"},
      {20, nullptr, "643", nullptr, "9645", 9645, ""},  // the bounds themselves are figures a grid may have
  };
  for (const Case& c : cases) {
    OperatorCsv csv;
    if (c.actual) csv.actualText[c.hour] = c.actual;
    if (c.supply) csv.supplyText[c.hour] = c.supply;
    if (c.percent) csv.percentText[c.hour] = c.percent;
    if (c.forecast) csv.forecastText[c.hour] = c.forecast;
    csv.peakSupply = c.peakSupply;
    SCOPED_TRACE(std::to_string(c.hour) + "時 " + (c.actual ? c.actual : "-") + " of " + (c.supply ? c.supply : "-") +
                 ", forecast " + (c.forecast ? c.forecast : "-"));
    if (*c.reason) EXPECT_THAT(Refusal(csv), HasSubstr(c.reason));
    else EXPECT_TRUE(Taken(csv));
  }
}

// Demand above the supply is what an emergency looks like, and is served up
// to a fifth over it; beyond that the figures are wrong.
TEST(OperatorFileLimits, UsageOverTheSupplyIsServedUpToAFifthOverIt) {
  struct Case {
    std::vector<int> usage;  // hours 10 .. 14 of a supply of 4000
    const char* reason;      // empty: taken
  };
  const Case cases[] = {
      {{3800, 3880, 3960, 4000, 4280}, ""},  // a crisis: 95 to 100 %, then 107 %
      {{4300, 4400, 4500, 4600, 4800}, ""},  // 120 % is the last taken
      {{4300, 4400, 4500, 4600, 4840}, "14時: usage 4840 of a supply of 4000 万kW (121.0 %) is beyond 120 %"},
      {{6000, 6000, 6000, 6000, 6000}, "14時: usage 6000 of a supply of 4000 万kW (150.0 %) is beyond 120 %"},
  };
  for (const Case& c : cases) {
    OperatorCsv csv;
    for (int hour = 10; hour < 15; ++hour) {
      const int usage = c.usage[static_cast<size_t>(hour - 10)];
      csv.actualText[hour] = std::to_string(usage);
      csv.supplyText[hour] = "4000";
      csv.percentText[hour] = std::to_string(usage / 40);
    }
    SCOPED_TRACE(c.usage.back());
    if (*c.reason) {
      EXPECT_THAT(Refusal(csv), HasSubstr(c.reason));
      continue;
    }
    std::string reason;
    auto file = gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason);
    ASSERT_TRUE(file && file->reading) << reason;
    EXPECT_EQ(file->reading->percent, static_cast<uint32_t>(c.usage.back() / 40));
  }
  // Tokyo's table of 2013, banded by the day's peak supply, is held to it too.
  OperatorCsv noSupply;
  noSupply.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)"};
  noSupply.actualText[14] = "6200";
  noSupply.peakSupply = 5050;
  EXPECT_THAT(Refusal(noSupply), HasSubstr("usage 6200 of a supply of 5050"));
}

// The hours before the reading's never decide its fate: demand falls to
// nothing in a blackout and comes back fast. Each is drawn as it is, down to
// 0 and however far from its neighbours; only an actual no grid can have
// (above the area's bounds, or beyond 120 % of its own supply) is left out
// of the graphs, as an hour not given.
TEST(OperatorFileLimits, EarlierHoursAreDrawnAsTheyAreOrLeftOutNeverJudged) {
  struct Case {
    const char *actual, *supply;
    int drawn;  // 13時's actual as the day's figures give it
  };
  const Case cases[] = {
      {"1", "5100", 1},        // below the area's bounds: a blackout's hour
      {"9000", "9000", 9000},  // far from the hours around it
      {"6120", "5100", 6120},  // 120 % of its supply
      {"6121", "5100", 0},     // beyond it
      {"9646", "9000", 0},     // above the area's bounds
  };
  for (const Case& c : cases) {
    OperatorCsv csv;
    csv.actualText[13] = c.actual;
    csv.supplyText[13] = c.supply;
    csv.percentText[13] = std::to_string(std::atoi(c.actual) * 100 / std::atoi(c.supply));
    std::string reason;
    auto file = gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason);
    ASSERT_TRUE(file && file->reading) << c.actual << " of " << c.supply << ": " << reason;
    EXPECT_EQ(file->reading->hour, 14) << c.actual;
    EXPECT_EQ(file->reading->usage, OperatorCsv::Actual(14)) << c.actual;
    EXPECT_EQ(file->day.hours[13].actual, c.drawn) << c.actual << " of " << c.supply;
  }
}

}  // namespace
