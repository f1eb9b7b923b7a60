// The reader on the ten areas' variants of the operator's file: padded dates,
// other names for the same blocks and columns, unpublished head blocks, and
// files written by tools/operator_csv.py --area for every area.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "bridge/cache/forecast_documents.h"
#include "bridge/reading/japan_time.h"
#include "bridge/reading/names.h"
#include "bridge/reading/operator_file.h"
#include "support/operator_csv.h"

namespace {

using gw::bridge::OperatorFile;
using gwtest::OperatorCsv;

const gw::bridge::Area& Tokyo() { return *gw::bridge::FindArea("tokyo"); }
using testing::HasSubstr;

std::optional<OperatorFile> Read(const OperatorCsv& csv, std::string* reason = nullptr) {
  std::string ignored;
  return gw::bridge::TryReadOperatorFile(csv.Bytes(), Tokyo(), reason ? reason : &ignored);
}

std::string Refusal(const OperatorCsv& csv) {
  std::string reason;
  EXPECT_FALSE(Read(csv, &reason).has_value()) << "taken, but should be refused";
  return reason;
}

// The reading every variant of the default afternoon must give.
void ExpectAfternoon(const std::optional<OperatorFile>& file, int capacity) {
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(file->reading.has_value());
  EXPECT_EQ(file->reading->hour, 14);
  EXPECT_EQ(file->reading->usage, OperatorCsv::Actual(14));
  EXPECT_EQ(file->reading->capacity, capacity);
  EXPECT_EQ(file->day.hours[3].forecast, OperatorCsv::Forecast(3));
  EXPECT_EQ(file->reading->updated, "2026-12-07T14:55:00+09:00");
}

TEST(OperatorFileAreas, PaddedAndUnpaddedDatesReadAlike) {
  OperatorCsv padded;
  padded.padded = true;
  padded.stampTime = "14:55";
  ASSERT_NE(padded.Text().find("2026/12/07,00:00,"), std::string::npos);
  ExpectAfternoon(Read(padded), OperatorCsv::Supply(14));
  // A two-digit day unpadded, and a one-digit month and day each way.
  for (auto [month, day, pad] : {std::tuple{12, 17, false}, {1, 5, false}, {1, 5, true}, {3, 9, true}}) {
    OperatorCsv csv;
    csv.month = month;
    csv.day = day;
    csv.padded = pad;
    csv.stampTime = pad ? "09:05" : "9:05";
    csv.hoursWithActual = 9;
    auto file = Read(csv);
    ASSERT_TRUE(file && file->reading) << month << "/" << day << (pad ? " padded" : "");
    EXPECT_EQ((std::array<int, 4>{file->reading->month, file->reading->day, file->reading->hour, file->reading->usage}),
              (std::array<int, 4>{month, day, 8, OperatorCsv::Actual(8)}));
    char iso[40];
    std::snprintf(iso, sizeof iso, "2026-%02d-%02dT09:05:00+09:00", month, day);
    EXPECT_EQ(file->reading->updated, iso);
  }
}

TEST(OperatorFileAreas, HeadBlocksOfEveryAreasNamingAreTheDays) {
  for (const char* date : {"12/7", "12月7日", "12月07日"}) {
    for (bool reserve : {false, true}) {
      OperatorCsv csv;
      csv.headPrefix = "需要";  // 需要ピーク時供給力, 需要ピーク時予想最大電力
      csv.headDate = date;
      csv.headReserve = reserve;
      auto file = Read(csv);
      ASSERT_TRUE(file.has_value()) << date;
      EXPECT_EQ(file->day.peakCapacity, 5100) << date;
      EXPECT_EQ(file->day.forecastPeak, 4600) << date;
    }
  }
}

// Blocks of the same family that are not the day's peak supply: taking one
// would band the graph by another figure.
TEST(OperatorFileAreas, OtherPeakSupplyBlocksAreNeverTheDays) {
  OperatorCsv csv;
  csv.withHeadBlocks = false;
  csv.extraBlocks = {"翌日ピーク時供給力(万kW),時間帯", "5433,17:00～18:00", "",
                     "使用率ピーク時供給力(万kW),時間帯", "5060,18:00～19:00", "",
                     "予備率ピーク時供給力(万kW),時間帯", "5020,18:00～19:00", "",
                     "翌日予想最大電力(万kW),時間帯", "4822,17:00～18:00", ""};
  auto file = Read(csv);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->day.peakCapacity, 0);
  EXPECT_EQ(file->day.forecastPeak, 0);
}

TEST(OperatorFileAreas, ABlankHeadBlockIsAbsentNotARefusal) {
  OperatorCsv csv;
  csv.blankHead = true;
  csv.headReserve = true;  // ",,,,," as the operators write it
  ASSERT_NE(csv.Text().find("\r\n,,,,\r\n"), std::string::npos);
  auto file = Read(csv);
  ExpectAfternoon(file, OperatorCsv::Supply(14));
  EXPECT_EQ(file->day.peakCapacity, 0) << "not a later block's figure";
  EXPECT_EQ(file->day.forecastPeak, 0);
  // Without the table's supply nothing gives a capacity: refused, naming why.
  csv.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)", "使用率(%)"};
  EXPECT_THAT(Refusal(csv), HasSubstr("ピーク時供給力"));
}

TEST(OperatorFileAreas, ExtraBlocksBeforeTheTableAreNotTaken) {
  OperatorCsv csv;
  csv.extraBlocks = {"最大使用率(%),予想気温(最低),予想気温(最高),時間帯", "89,3.1,11.4,18:00～19:00", "",
                     "想定気温(℃),時間帯", "8.5,14:00～15:00", ""};
  auto file = Read(csv);
  ExpectAfternoon(file, OperatorCsv::Supply(14));
  EXPECT_EQ(file->day.forecastPeak, 4600);
}

TEST(OperatorFileAreas, ANameHoldingSupplyIsTheSupplyEvenWhenItSaysForecast) {
  for (const char* supply : {"供給力(万kW)", "供給力想定値(万kW)", "供給力予測値(万kW)"}) {
    for (const char* forecast : {"予測値(万kW)", "予想値(万kW)", "需要予測値(万kW)"}) {
      OperatorCsv csv;
      // The supply first, so that a reader taking it for the forecast fails.
      csv.columns = {"DATE", "TIME", "当日実績(万kW)", supply, forecast, "使用率(%)"};
      SCOPED_TRACE(std::string(supply) + " " + forecast);
      ExpectAfternoon(Read(csv), OperatorCsv::Supply(14));
    }
  }
}

TEST(OperatorFileAreas, KyushusSevenColumnsWithAReserveRate) {
  OperatorCsv csv;
  csv.padded = true;
  csv.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)", "使用率(%)", "予備率(%)", "供給力(万kW)"};
  auto file = Read(csv);
  ExpectAfternoon(file, OperatorCsv::Supply(14));
  EXPECT_EQ(file->day.hours[14].percent, OperatorCsv::RoundedPercent(14)) << "使用率, not 予備率";
  // The reserve before the percentage: still not taken for it.
  csv.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)", "予備率(%)", "使用率(%)", "供給力(万kW)"};
  EXPECT_EQ(Read(csv)->day.hours[14].percent, OperatorCsv::RoundedPercent(14));
}

// A reserve column may carry 実績 in its name too (予備率実績); it is never
// the actual, wherever it stands.
TEST(OperatorFileAreas, AReserveActualBeforeTheActualIsNotTheActual) {
  OperatorCsv csv;
  csv.columns = {"DATE", "TIME", "予備率実績(%)", "当日実績(万kW)", "予測値(万kW)", "使用率(%)", "供給力(万kW)"};
  ExpectAfternoon(Read(csv), OperatorCsv::Supply(14));
}

// A second ピーク時供給力 block without any of the other blocks' prefixes
// is another figure: the first block before the table is the day's.
TEST(OperatorFileAreas, TheFirstPeakSupplyBlockStandsOverALaterOne) {
  OperatorCsv csv;
  csv.extraBlocks = {"ピーク時供給力(万kW),時間帯", "5300,17:00～18:00", "",
                     "予想最大電力(万kW),時間帯", "4700,17:00～18:00", ""};
  auto file = Read(csv);
  ExpectAfternoon(file, OperatorCsv::Supply(14));
  EXPECT_EQ(file->day.peakCapacity, 5100);
  EXPECT_EQ(file->day.forecastPeak, 4600);
  EXPECT_EQ(file->day.forecastPeakHour, 18);
}

TEST(OperatorFileAreas, TokyosFourColumnTableOf2013) {
  OperatorCsv csv;
  csv.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値（万kW)"};
  auto file = Read(csv);
  ExpectAfternoon(file, 5100);
  EXPECT_EQ(file->day.hours[14].percent, -1);
}

// Names written with full-width or half-width forms read as their usual
// spelling.
TEST(OperatorFileAreas, NamesAreFoldedBeforeTheyAreMatched) {
  using gw::bridge::NormaliseName;
  EXPECT_EQ(NormaliseName("予測値（万ｋＷ）"), "予測値(万kW)");
  EXPECT_EQ(NormaliseName("当日実績(５分間隔値)"), "当日実績(5分間隔値)");
  EXPECT_EQ(NormaliseName("ﾋﾟｰｸ時供給力(万㎾)"), "ピーク時供給力(万kW)");
  EXPECT_EQ(NormaliseName("ｶﾞｽ ﾊﾞﾊﾟｳﾞ ｱﾞ"), "ガス バパヴ ア\u3099");
  EXPECT_EQ(NormaliseName("ＤＡＴＥ\u3000使用率(%)"), "DATE 使用率(%)");
  EXPECT_EQ(NormaliseName("需要ピーク時予想最大電力"), "需要ピーク時予想最大電力") << "kana and kanji stay";
  EXPECT_EQ(NormaliseName("18:00～19:00"), "18:00~19:00");
  OperatorCsv csv;
  csv.withHeadBlocks = false;
  csv.extraBlocks = {"ﾋﾟｰｸ時供給力(万kW),時間帯", "5100,18:00～19:00", ""};
  csv.columns = {"ＤＡＴＥ", "ＴＩＭＥ", "当日実績（万ｋＷ）", "予測値（万ｋＷ）"};
  ExpectAfternoon(Read(csv), 5100);
}

// Some areas write a forecast into 使用率 for the hours to come; only an
// actual makes an hour's reading.
TEST(OperatorFileAreas, AForecastInThePercentColumnIsNoActual) {
  for (bool empty : {false, true}) {
    OperatorCsv csv;
    csv.percentForecast = true;
    csv.futureEmpty = empty;
    auto file = Read(csv);
    ExpectAfternoon(file, OperatorCsv::Supply(14));
    EXPECT_EQ(file->day.hours[15].actual, 0);
    EXPECT_GT(file->day.hours[15].percent, 0) << "the file's own, kept as written";
  }
}

// ---- Files from the project's generator, one per area ---------------------

struct Generated {
  std::string bytes, expected;  // the file, and the reading it states as JSON
};

Generated RunGenerator(const std::string& options) {
  // Named for this process: other checkouts' tests may run at the same time.
  const std::string out = ::testing::TempDir() + "gridwren_area_" + std::to_string(getpid()) + ".csv";
  const std::string command = "python3 " GW_SOURCE_DIR "/tools/operator_csv.py --output " + out +
                              " --date 2026-12-07 --stamp 14:55 " + options;
  Generated g;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return g;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) g.expected += buffer;
  if (pclose(pipe) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  g.bytes = bytes.str();
  std::remove(out.c_str());
  return g;
}

// The area a generator's run writes for: its --area, else Tokyo.
const gw::bridge::Area& AreaOf(const std::string& options) {
  const size_t at = options.find("--area ");
  if (at == std::string::npos) return Tokyo();
  return *gw::bridge::FindArea(options.substr(at + 7, options.find(' ', at + 7) - at - 7));
}

// The reading as the generator prints it: {"usage": 4282, "capacity": ...}.
std::string AsJson(const std::optional<gw::bridge::Reading>& r) {
  if (!r) return "null\n";
  char text[200];
  std::snprintf(text, sizeof text,
                "{\"usage\": %d, \"capacity\": %d, \"year\": %d, \"month\": %d, \"day\": %d, \"hour\": %d, "
                "\"usage_percent\": %u}\n",
                r->usage, r->capacity, r->year, r->month, r->day, r->hour, r->percent);
  return text;
}

TEST(OperatorFileAreas, EveryAreasGeneratedFileGivesItsStatedReading) {
  std::vector<std::string> runs;
  for (const char* area : {"hokkaido", "tohoku", "tokyo", "chubu", "hokuriku", "kansai", "chugoku", "shikoku",
                           "kyushu", "okinawa"}) {
    runs.push_back(std::string("--area ") + area + " --hours 15");
    runs.push_back(std::string("--area ") + area + " --hours 1 --stamp 1:05");
  }
  for (const char* other : {"--area kansai --hours 0 --stamp 0:05", "--area kyushu --hours 15 --blank-head",
                            "--area okinawa --hours 24 --stamp 0:05 --stamp-date 2026-12-08",
                            "--area chugoku --hours 15 --future empty --lf", "--table 2013 --hours 15"}) {
    runs.push_back(other);
  }
  for (const std::string& options : runs) {
    const Generated g = RunGenerator(options);
    ASSERT_FALSE(g.bytes.empty()) << "python3 tools/operator_csv.py " << options;
    std::string reason;
    auto file = gw::bridge::TryReadOperatorFile(g.bytes, AreaOf(options), &reason);
    ASSERT_TRUE(file.has_value()) << options << ": " << reason;
    EXPECT_EQ(AsJson(file->reading), g.expected) << options;
  }
}

// Today's and tomorrow's forecasts in the layouts the operators differ most
// in (翌日の… or today's names after the table, 需要 before the names,
// 予想値, a temperature block), published or not yet, as the generator
// states them in forecast.json's form.
TEST(OperatorFileAreas, EveryLayoutsForecastsAreTheOnesItStates) {
  const std::string stated = ::testing::TempDir() + "gridwren_forecast_" + std::to_string(getpid()) + ".json";
  for (const char* options : {"--area tokyo", "--area chubu", "--area kansai", "--area kyushu", "--area hokkaido",
                              "--area tokyo --tomorrow unfilled", "--area kansai --tomorrow left-over",
                              "--area kyushu --tomorrow absent", "--area kyushu --blank-head --tomorrow unfilled"}) {
    const Generated g = RunGenerator(std::string(options) + " --hours 15 --forecast-json " + stated);
    std::ifstream in(stated);
    std::stringstream expected;
    expected << in.rdbuf();
    std::remove(stated.c_str());
    ASSERT_FALSE(g.bytes.empty() || expected.str().empty()) << options;
    std::string reason;
    auto file = gw::bridge::TryReadOperatorFile(g.bytes, AreaOf(options), &reason);
    ASSERT_TRUE(file.has_value()) << options << ": " << reason;
    const int64_t noon = gw::bridge::JapanTimeToUnix(2026, 12, 7, 12);
    EXPECT_EQ("{" + gw::bridge::OutlookJsonMembers(file->day.outlook, noon) + "}\n", expected.str()) << options;
  }
}

// A spreadsheet program saving the operator's file again pads every line
// (the stamp line too), quotes every field or writes UTF-8 with a
// byte-order mark: still the same table, read to the same figures.
TEST(OperatorFileAreas, AFileSavedAgainByASpreadsheetReadsAsTheOriginal) {
  for (const char* area : {"hokkaido", "kansai", "kyushu"}) {
    const std::string options = std::string("--area ") + area + " --hours 15";
    const Generated original = RunGenerator(options);
    std::string reason;
    const auto expected = gw::bridge::TryReadOperatorFile(original.bytes, AreaOf(options), &reason);
    ASSERT_TRUE(expected && expected->reading) << area << ": " << reason;
    for (const char* saved : {"--pad-cells", "--quote-all", "--utf8-bom", "--pad-cells --quote-all --utf8-bom"}) {
      SCOPED_TRACE(options + " " + saved);
      const Generated g = RunGenerator(options + " " + saved);
      ASSERT_FALSE(g.bytes.empty());
      ASSERT_NE(g.bytes, original.bytes);
      auto file = gw::bridge::TryReadOperatorFile(g.bytes, AreaOf(options), &reason);
      if (!file) {
        ADD_FAILURE() << reason;
        continue;
      }
      EXPECT_EQ(AsJson(file->reading), original.expected);
      const auto& day = file->day;
      EXPECT_EQ((std::array<int, 4>{day.peakCapacity, day.forecastPeak, day.forecastPeakHour, day.day}),
                (std::array<int, 4>{expected->day.peakCapacity, expected->day.forecastPeak,
                                    expected->day.forecastPeakHour, expected->day.day}));
      EXPECT_EQ(day.updated, expected->day.updated);
      for (int hour = 0; hour < 24; ++hour) {
        const auto &h = day.hours[static_cast<size_t>(hour)], &e = expected->day.hours[static_cast<size_t>(hour)];
        EXPECT_EQ((std::array<int, 4>{h.actual, h.forecast, h.capacity, h.percent}),
                  (std::array<int, 4>{e.actual, e.forecast, e.capacity, e.percent}))
            << hour << "時";
      }
    }
  }
}

}  // namespace
