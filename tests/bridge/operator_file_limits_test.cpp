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
using testing::HasSubstr;

std::string Refusal(const OperatorCsv& csv) {
  std::string reason;
  EXPECT_FALSE(gw::bridge::TryReadOperatorFile(csv.Bytes(), &reason).has_value()) << "taken, but should be refused";
  return reason;
}

bool Taken(const OperatorCsv& csv) {
  std::string reason;
  return gw::bridge::TryReadOperatorFile(csv.Bytes(), &reason).has_value();
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

// The percentage never wraps: 999999999 of 1 is refused long before.
TEST(OperatorFileLimits, FiguresBeyondAnyGridAreRefused) {
  OperatorCsv huge;
  huge.actualText[14] = "999999999";
  huge.percentText[14] = "19607";
  EXPECT_THAT(Refusal(huge), HasSubstr("10000"));
  OperatorCsv hugeEarlier;  // any hour, not only the reading's
  hugeEarlier.actualText[3] = "10001";
  EXPECT_THAT(Refusal(hugeEarlier), HasSubstr("3時: 10001 万kW is beyond 10000"));
  OperatorCsv hugePeak;
  hugePeak.peakSupply = 51000;
  EXPECT_THAT(Refusal(hugePeak), HasSubstr("51000 万kW"));
  OperatorCsv largest;  // the bound itself is a figure a grid may have
  largest.peakSupply = 10000;
  EXPECT_TRUE(Taken(largest));
}

TEST(OperatorFileLimits, UsageFarOverTheSupplyIsRefused) {
  // 7700 of 5100 is 151 %: the file's own 使用率 agrees, and still no grid.
  OperatorCsv over;
  over.actualText[14] = "7700";
  over.percentText[14] = "151";
  EXPECT_THAT(Refusal(over), HasSubstr("7700 of 5100 万kW (151.0 %) is beyond 150"));
  OperatorCsv atTheBound;  // 150 % is the last taken
  atTheBound.actualText[14] = "7650";
  atTheBound.percentText[14] = "150";
  EXPECT_TRUE(Taken(atTheBound));
  // Without a 使用率 to hold it against, and banded by the day's peak.
  OperatorCsv noPercent;
  noPercent.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)"};
  noPercent.actualText[14] = "9000";
  noPercent.peakSupply = 5050;
  EXPECT_THAT(Refusal(noPercent), HasSubstr("9000 of 5050"));
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
