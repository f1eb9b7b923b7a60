// What no real file holds: a stamp of another day, and figures beyond any
// grid. Each is refused with a reason that names it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bridge/reading/figure_limits.h"
#include "bridge/reading/japan_time.h"
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

TEST(OperatorFileLimits, TheStampIsOfTheTablesDayOrJustAfterItsMidnight) {
  const std::pair<const char*, const char*> refused[] = {
      {"2099/1/1", "0:00"}, {"2026/12/6", "23:55"}, {"2026/12/8", "1:00"}, {"2026/12/9", "0:05"}};
  for (const auto& [date, time] : refused) {
    OperatorCsv csv;
    csv.stampDate = date;
    csv.stampTime = time;
    EXPECT_THAT(Refusal(csv), HasSubstr("not of the hourly table's day")) << date << " " << time;
  }
  OperatorCsv lastHour;
  lastHour.hoursWithActual = 24;
  lastHour.stampDate = "2026/12/8";
  lastHour.stampTime = "0:55";
  EXPECT_TRUE(Taken(lastHour));
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

// Each area's figures lie between a tenth of its record peak and half as
// much again (Tokyo: 643 and 9645 万kW), in every hour and head block. The
// percentage never wraps: 999999999 of 1 is refused long before.
TEST(OperatorFileLimits, FiguresOutsideTheirAreasSizeAreRefused) {
  struct Case {
    int hour;
    const char *actual, *supply, *percent;
    int peakSupply;
    const char* reason;  // empty: taken
  };
  const Case cases[] = {
      {14, "999999999", nullptr, "19607", 5100, "999999999 万kW is above tokyo's bound of 9645 万kW"},
      {3, "9646", nullptr, nullptr, 5100, "3時: 9646 万kW is above tokyo's bound of 9645"},
      {14, "1", "1", "100", 5100, "14時: 1 万kW is below tokyo's bound of 643 万kW"},
      {20, nullptr, "642", nullptr, 5100, "20時: 642 万kW is below"},
      {3, nullptr, nullptr, nullptr, 51000, "51000 万kW is above"},
      {20, nullptr, "643", nullptr, 9645, ""},  // the bounds themselves are figures a grid may have
  };
  for (const Case& c : cases) {
    OperatorCsv csv;
    if (c.actual) csv.actualText[c.hour] = c.actual;
    if (c.supply) csv.supplyText[c.hour] = c.supply;
    if (c.percent) csv.percentText[c.hour] = c.percent;
    csv.peakSupply = c.peakSupply;
    SCOPED_TRACE(std::string(c.actual ? c.actual : "-") + " of " + (c.supply ? c.supply : "-"));
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
      {{6000, 6000, 6000, 6000, 6000}, "10時: usage 6000 of a supply of 4000 万kW (150.0 %) is beyond 120 %"},
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

// The reading's hour against the nearest earlier hour of the same table
// with an actual: half within an hour, and half again for each hour missed.
TEST(OperatorFileLimits, AReadingThatJumpsAwayFromItsOwnDayIsRefused) {
  const int before = OperatorCsv::Actual(13), twoBefore = OperatorCsv::Actual(12);
  struct Case {
    int usage;
    bool hour13Missing, percentColumn;
    std::string reason;  // empty: taken
  };
  const Case cases[] = {
      {before / 2 - 10, false, true, "14時: usage " + std::to_string(before / 2 - 10) + " 万kW after " +
                                         std::to_string(before) + " 万kW at 13時"},
      {before * 3 / 2 + 10, false, true, "is beyond 50 % (the change of usage within an hour"},
      {before / 2 + 10, false, true, ""},
      {twoBefore / 2 - 10, true, true, ""},  // over two hours, half is within the limit
      {twoBefore * 2 + 100, true, true, "in 2 hours"},
      // Without a 使用率 to hold the figures against, these rules alone do.
      {before * 3 / 2 + 10, false, false, "is beyond 50 %"},
      {before * 3 / 2 - 10, false, false, ""},
  };
  for (const Case& c : cases) {
    OperatorCsv csv;
    if (!c.percentColumn) csv.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)", "供給力(万kW)"};
    csv.actualText[14] = std::to_string(c.usage);
    csv.supplyText[14] = "9000";
    csv.percentText[14] = std::to_string(c.usage / 90);
    if (c.hour13Missing) csv.actualText[13] = csv.percentText[13] = "";
    SCOPED_TRACE(c.usage);
    if (!c.reason.empty()) EXPECT_THAT(Refusal(csv), HasSubstr(c.reason));
    else EXPECT_TRUE(Taken(csv));
  }
}

TEST(OperatorFileLimits, AJumpNoGridMakesInAnHourIsTold) {
  using gw::bridge::ChangeBeyondLimit;
  gw::bridge::Reading held{4000, 5100, 2026, 12, 7, 14, 78, ""}, next = held;
  const int64_t at = gw::bridge::JapanTimeToUnix(2026, 12, 7, 14);
  for (int usage : {2000, 6000}) {
    next.usage = usage;
    EXPECT_EQ(ChangeBeyondLimit(held, at, next, at + 3600), "") << usage << " is half again or half less";
    next.usage = usage + (usage < 4000 ? -1 : 1);
    EXPECT_THAT(ChangeBeyondLimit(held, at, next, at + 3600), HasSubstr("within an hour")) << next.usage;
    EXPECT_THAT(ChangeBeyondLimit(held, at, next, at), HasSubstr("within an hour")) << "a correction too";
    EXPECT_EQ(ChangeBeyondLimit(held, at, next, at + 7200), "") << "over two hours demand may move further";
  }
  next.usage = 40000;
  EXPECT_EQ(ChangeBeyondLimit(gw::bridge::Reading{}, -1, next, at), "") << "nothing held";
}

}  // namespace
