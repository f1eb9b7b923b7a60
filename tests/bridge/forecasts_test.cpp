// The operator's forecasts read from its file: today's blocks before the
// hourly table, tomorrow's after it or named 翌日の…, each day's never taken
// for the other's, and blocks not yet published read as not given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bridge/reading/operator_file.h"
#include "support/operator_csv.h"

namespace {

using gw::bridge::DayForecast;
using gwtest::OperatorCsv;
using testing::HasSubstr;
using Tomorrow = OperatorCsv::Tomorrow;

const gw::bridge::Area& Tokyo() { return *gw::bridge::FindArea("tokyo"); }

// The tightest hour as {hour, supply, demand, percent}, and the peak as
// {supply, its hour, forecast, its hour}.
std::array<int, 4> Tight(const DayForecast& f) { return {f.tightHour, f.tightSupply, f.tightDemand, f.tightPercent}; }
std::array<int, 4> Peak(const DayForecast& f) {
  return {f.peakSupply, f.peakSupplyHour, f.forecastPeak, f.forecastPeakHour};
}
const std::array<int, 4> kNone{-1, 0, 0, -1}, kNoPeak{0, -1, 0, -1};

TEST(Forecasts, TodaysAndTomorrowsAsEachOperatorPlacesThem) {
  struct Case {
    const char* what;
    Tomorrow tomorrow;
    std::array<int, 4> tight;  // tomorrow's
  };
  const Case cases[] = {
      {"翌日の… after the table", Tomorrow::kNamed, {3, 4900, 4520, 92}},
      {"today's names after the table", Tomorrow::kUnnamed, {3, 4900, 4520, 92}},
      {"not yet published: ,,,,,", Tomorrow::kUnfilled, kNone},
      {"a 0 dated the day before", Tomorrow::kLeftOver, kNone},
      {"a 0 dated today", Tomorrow::kZeroed, kNone},
      {"the day before's figures for today", Tomorrow::kYesterdays, kNone},
      {"no blocks for tomorrow", Tomorrow::kAbsent, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OperatorCsv csv;
    csv.tomorrow = c.tomorrow;
    std::string reason;
    auto file = gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason);
    ASSERT_TRUE(file && file->reading) << reason;
    const auto& outlook = file->day.outlook;
    EXPECT_EQ(Tight(outlook.today), (std::array<int, 4>{18, 5060, 4600, 91}));
    EXPECT_EQ(Peak(outlook.today), (std::array<int, 4>{5100, 18, 4600, 18}));
    EXPECT_EQ((std::array<int, 3>{outlook.today.year, outlook.today.month, outlook.today.day}),
              (std::array<int, 3>{2026, 12, 7}));
    EXPECT_EQ((std::array<int, 3>{outlook.tomorrow.year, outlook.tomorrow.month, outlook.tomorrow.day}),
              (std::array<int, 3>{2026, 12, 8}));
    EXPECT_EQ(Tight(outlook.tomorrow), c.tight);
    const bool published = c.tight[0] >= 0;
    EXPECT_EQ(outlook.tomorrow.Given(), published);
    EXPECT_EQ(Peak(outlook.tomorrow), published ? (std::array<int, 4>{5433, 17, 4822, 17}) : kNoPeak);
  }
  // On New Year's Day the day before's blocks are dated 12/31, of the year before.
  OperatorCsv newYear;
  newYear.year = 2027, newYear.month = 1, newYear.day = 1;
  newYear.tomorrow = Tomorrow::kYesterdays;
  std::string reason;
  auto file = gw::bridge::TryReadOperatorFile(newYear.Bytes(), Tokyo(), &reason);
  ASSERT_TRUE(file) << reason;
  EXPECT_FALSE(file->day.outlook.tomorrow.Given());
}

// Tomorrow's blocks written before the table, and today's missing: each
// day keeps its own, and today's reads as not given.
TEST(Forecasts, TomorrowsBlocksBeforeTheTableAreNotTodays) {
  OperatorCsv csv;
  csv.withHeadBlocks = false;
  csv.tomorrow = Tomorrow::kAbsent;
  csv.extraBlocks = {"翌日の使用率ピーク時供給力(万kW),時間帯,使用率ピーク時使用率(%)", "4900,3:00～4:00,92", "",
                     "翌日使用率ピーク時予想最大電力(万kW),時間帯", "4520,3:00～4:00", ""};
  std::string reason;
  auto file = gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason);
  ASSERT_TRUE(file) << reason;
  EXPECT_EQ(Tight(file->day.outlook.today), kNone);
  EXPECT_FALSE(file->day.outlook.today.Given());
  EXPECT_EQ(Tight(file->day.outlook.tomorrow), (std::array<int, 4>{3, 4900, 4520, 92}));
}

// A forecast is checked as hard as an actual: a wrong one would warn an
// office of a tight day that is not coming.
TEST(Forecasts, AForecastThatCannotBeRightRefusesTheFile) {
  struct Case {
    OperatorCsv::Tightest tight;  // tomorrow's
    const char* reason;           // empty: taken
  };
  const Case cases[] = {
      {{99999, 4520, 3, ""}, "99999 万kW is above tokyo's bound of 9645 万kW"},
      {{4900, 4520, 3, "95"}, "the file's 使用率 (95%) disagrees with 4520/4900 = 92.2%: misread"},
      {{4900, 4520, 3, "93"}, ""},  // within a point of 92.2: the operator's own rounding
      {{4000, 4840, 3, "121"}, "beyond 120 %"},
      {{4000, 4800, 3, "120"}, ""},  // an emergency's forecast is served
      {{4900, 4520, 3, "abc"}, "is not a percentage"},
  };
  for (const Case& c : cases) {
    OperatorCsv csv;
    csv.tomorrowTight = c.tight;
    SCOPED_TRACE(c.tight.supply);
    std::string reason, said;
    auto file = gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason, &said);
    if (*c.reason) {
      EXPECT_FALSE(file.has_value());
      EXPECT_THAT(reason, HasSubstr(c.reason));
      EXPECT_EQ(said, "見通しの予想（使用率ピーク時）の数字がありえないか、合いません") << "as the status page says it";
    } else {
      ASSERT_TRUE(file.has_value()) << reason;
      EXPECT_EQ(file->day.outlook.tomorrow.tightPercent, std::stoi(c.tight.percentText));
    }
  }
  // The tightest hour's blocks naming different hours are of no one hour.
  OperatorCsv csv;
  csv.tomorrow = Tomorrow::kAbsent;
  csv.extraBlocks = {"翌日の使用率ピーク時供給力(万kW),時間帯", "4900,3:00～4:00", "",
                     "翌日の使用率ピーク時予想最大電力(万kW),時間帯", "4520,18:00～19:00", ""};
  std::string reason;
  EXPECT_FALSE(gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), &reason));
  EXPECT_THAT(reason, HasSubstr("name different hours (3時 and 18時"));
}

}  // namespace
