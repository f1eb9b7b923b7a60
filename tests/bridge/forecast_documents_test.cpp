// The operator's forecasts as the plain API and /metrics give them, from a
// file read by the reader: only the parts the file gives, labelled by the
// day in Japan at the request, present only while the reading is fresh;
// and the plug-in's documents byte for byte as before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bridge/cache/documents.h"
#include "bridge/reading/japan_time.h"
#include "bridge/reading/operator_file.h"
#include "bridge/serving/responder.h"
#include "support/operator_csv.h"

namespace {

using namespace gw::bridge;
using gwtest::OperatorCsv;
using testing::HasSubstr;
using testing::Not;

class ForecastDocuments : public testing::Test {
 protected:
  // The file read and published as the poller does; the answer to `path`
  // at `now`.
  std::string Body(const OperatorCsv& csv, const std::string& path, int64_t now, int* status = nullptr) {
    std::string reason;
    auto file = TryReadOperatorFile(csv.Bytes(), *FindArea("tokyo"), &reason);
    EXPECT_TRUE(file && file->reading) << reason;
    if (!file || !file->reading) return {};
    areas_.cache(0).Publish(RenderSnapshot({*file->reading, file->day, "GIF89a-meter", "GIF89a-chart",
                                            "http://127.0.0.1:8000/juyo-d1-j.csv", 3 * 3600, FindArea("tokyo")}));
    AreaViews views(areas_);
    Reply reply;
    responder_.Respond({"GET", path}, views, now, &reply);
    if (status) *status = reply.answer().status;
    return reply.answer().body;
  }

  ServedAreas areas_{{FindArea("tokyo")}};
  Metrics metrics_;
  Responder responder_{metrics_, nullptr, 3 * 3600};
  const int64_t afternoon_ = JapanTimeToUnix(2026, 12, 7, 14, 58);
};

constexpr char kToday[] =
    "\"today\": {\"date\": \"2026-12-07\", \"hour\": 18, \"hour_start\": \"2026-12-07T18:00:00+09:00\", "
    "\"supply\": 5060, \"forecast_demand\": 4600, \"usage_percent\": 91, \"peak_supply\": 5100, "
    "\"peak_supply_hour\": 18, \"forecast_peak\": 4600, \"forecast_peak_hour\": 18}";
constexpr char kTomorrow[] =
    "\"tomorrow\": {\"date\": \"2026-12-08\", \"hour\": 3, \"hour_start\": \"2026-12-08T03:00:00+09:00\", "
    "\"supply\": 4900, \"forecast_demand\": 4520, \"usage_percent\": 92, \"peak_supply\": 5433, "
    "\"peak_supply_hour\": 17, \"forecast_peak\": 4822, \"forecast_peak_hour\": 17}";

// The plug-in picks its fields out of /latest.json by name at any depth: a
// forecast's "hour" there would be taken for the reading's. Its bytes are
// those of a file with no forecast at all.
TEST_F(ForecastDocuments, ThePluginsDocumentsAreByteForByteAsBefore) {
  const std::string golden =
      "{\"usage\": 4282, \"capacity\": 5100, \"year\": 2026, \"month\": 12, \"day\": 7, \"hour\": 14, "
      "\"usage_percent\": 83, \"updated\": \"2026-12-07T14:55:00+09:00\", \"hour_start\": "
      "\"2026-12-07T14:00:00+09:00\", \"source\": \"http://127.0.0.1:8000/juyo-d1-j.csv\", \"area\": \"tokyo\"}\n";
  OperatorCsv bare;
  bare.withHeadBlocks = false;
  bare.tomorrow = OperatorCsv::Tomorrow::kAbsent;
  bare.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)", "使用率(%)", "供給力(万kW)"};
  for (const char* path : {"/latest.json", "/areas/tokyo/latest.json"}) {
    EXPECT_EQ(Body(bare, path, afternoon_), golden) << path << " without forecasts";
    EXPECT_EQ(Body(OperatorCsv{}, path, afternoon_), golden) << path << " with today's and tomorrow's";
  }
}

TEST_F(ForecastDocuments, TodaysAndTomorrowsWithOnlyThePartsGiven) {
  const OperatorCsv csv;
  const std::string outlook = std::string(kToday) + ", " + kTomorrow;
  EXPECT_EQ(Body(csv, "/areas/tokyo/forecast.json", afternoon_),
            "{\"area\": \"tokyo\", \"updated\": \"2026-12-07T14:55:00+09:00\", " + outlook + "}\n");
  EXPECT_THAT(Body(csv, "/areas.json", afternoon_), HasSubstr(", \"forecast\": {" + outlook + "}, \"state\""));
  // Tomorrow's not yet published: absent, never a 0 %.
  OperatorCsv unfilled;
  unfilled.tomorrow = OperatorCsv::Tomorrow::kUnfilled;
  EXPECT_EQ(Body(unfilled, "/areas/tokyo/forecast.json", afternoon_),
            "{\"area\": \"tokyo\", \"updated\": \"2026-12-07T14:55:00+09:00\", " + std::string(kToday) + "}\n");
  // Only the tightest hour's supply and 使用率 given: no demand, no peak.
  OperatorCsv part;
  part.withHeadBlocks = false;
  part.tomorrow = OperatorCsv::Tomorrow::kAbsent;
  part.extraBlocks = {"使用率ピーク時供給力(万kW),時間帯,使用率ピーク時使用率(%)", "5060,18:00～19:00,91", ""};
  EXPECT_THAT(Body(part, "/areas/tokyo/forecast.json", afternoon_),
              HasSubstr("\"today\": {\"date\": \"2026-12-07\", \"hour\": 18, \"hour_start\": "
                        "\"2026-12-07T18:00:00+09:00\", \"supply\": 5060, \"usage_percent\": 91}}"));
}

// Just after midnight the old day's last reading is still served: its
// tomorrow's forecast is now today's, and its today's is gone by. Once the
// reading is stale, no forecast is given.
TEST_F(ForecastDocuments, TheDaysAreTheRequestsAndAStaleReadingGivesNone) {
  OperatorCsv csv;
  csv.hoursWithActual = 24;
  csv.stampTime = "0:05";
  csv.stampDate = "2026/12/8";
  const int64_t afterMidnight = JapanTimeToUnix(2026, 12, 8, 0, 30);
  const std::string today = std::string(kTomorrow).replace(1, 8, "today");
  EXPECT_EQ(Body(csv, "/areas/tokyo/forecast.json", afterMidnight),
            "{\"area\": \"tokyo\", \"updated\": \"2026-12-08T00:05:00+09:00\", " + today + "}\n");
  OperatorCsv withoutTomorrow = csv;  // the old day's own forecast is no one's today
  withoutTomorrow.tomorrow = OperatorCsv::Tomorrow::kAbsent;
  EXPECT_EQ(Body(withoutTomorrow, "/areas/tokyo/forecast.json", afterMidnight),
            "{\"area\": \"tokyo\", \"updated\": \"2026-12-08T00:05:00+09:00\"}\n");
  int status = 0;
  const std::string stale = Body(csv, "/areas/tokyo/forecast.json", afterMidnight + 3 * 3600, &status);
  EXPECT_EQ(status, 503);
  EXPECT_THAT(stale, HasSubstr("\"error\": \"the latest reading"));
  EXPECT_THAT(Body(csv, "/areas.json", afterMidnight + 3 * 3600), Not(HasSubstr("forecast")));
}

// The grid's series in base units, each labelled with its area, and none
// once the reading is stale.
TEST_F(ForecastDocuments, MetricsGiveTheGridsFiguresWhileFresh) {
  const OperatorCsv csv;
  const std::string metrics = Body(csv, "/metrics", afternoon_);
  for (const char* line : {
           "gridwren_grid_demand_watts{area=\"tokyo\"} 42820000000\n",
           "gridwren_grid_supply_watts{area=\"tokyo\"} 51000000000\n",
           "gridwren_grid_usage_ratio{area=\"tokyo\"} 0.839608\n",
           "gridwren_grid_reading_hour_timestamp_seconds{area=\"tokyo\"} 1796619600\n",
           "gridwren_grid_forecast_usage_ratio{area=\"tokyo\",day=\"today\"} 0.91\n",
           "gridwren_grid_forecast_usage_ratio{area=\"tokyo\",day=\"tomorrow\"} 0.92\n",
           "gridwren_grid_forecast_hour_timestamp_seconds{area=\"tokyo\",day=\"today\"} 1796634000\n",
           "gridwren_grid_forecast_hour_timestamp_seconds{area=\"tokyo\",day=\"tomorrow\"} 1796666400\n",
           "# TYPE gridwren_grid_usage_ratio gauge\n"}) {
    EXPECT_THAT(metrics, HasSubstr(line));
  }
  const std::string stale = Body(csv, "/metrics", afternoon_ + 3 * 3600);
  EXPECT_THAT(stale, Not(HasSubstr("gridwren_grid_usage_ratio{")));
  EXPECT_THAT(stale, Not(HasSubstr("gridwren_grid_forecast_usage_ratio{")));
  EXPECT_THAT(stale, HasSubstr("# TYPE gridwren_grid_usage_ratio gauge\n"));
}

}  // namespace
