// The operator-file reader on files built like the operator's: what it takes,
// and every kind of file it must refuse whole.
#include "bridge/reading/operator_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "base/codepage.h"
#include "bridge/reading/file_lines.h"
#include "bridge/reading/text_cells.h"
#include "support/operator_csv.h"

namespace {

using gw::bridge::OperatorFile;
using gw::bridge::TryReadOperatorFile;
using gwtest::OperatorCsv;
using testing::HasSubstr;

std::optional<OperatorFile> Read(const std::string& bytes, std::string* reason = nullptr) {
  std::string ignored;
  return TryReadOperatorFile(bytes, *gw::bridge::FindArea("tokyo"), reason ? reason : &ignored);
}

// The reason a file is refused; fails the test when it is taken, or when
// the status page could only say that the file cannot be read: every part
// of the reader says what it met.
std::string Refusal(const std::string& bytes) {
  std::string reason, said;
  auto file = TryReadOperatorFile(bytes, *gw::bridge::FindArea("tokyo"), &reason, &said);
  EXPECT_FALSE(file.has_value()) << "taken, but should be refused";
  EXPECT_FALSE(reason.empty());
  EXPECT_NE(said, "ファイルの形が読めません") << reason;
  return reason;
}

// Removes the line that starts with `start`, line break included.
std::string WithoutLine(std::string text, const std::string& start) {
  size_t at = text.find("\n" + start);
  if (at != std::string::npos) text.erase(at + 1, text.find('\n', at + 1) - at);
  return text;
}

std::string Cp932(const std::string& utf8) { return gw::WideToCp932(gw::Utf8ToWide(utf8)); }

TEST(OperatorFile, MidDayTakesTheLatestActualHour) {
  auto file = Read(OperatorCsv{}.Bytes());
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(file->reading.has_value());
  const auto& r = *file->reading;
  EXPECT_EQ(r.usage, OperatorCsv::Actual(14)) << "the hourly table's actual, not the five-minute table's";
  EXPECT_EQ(r.capacity, OperatorCsv::Supply(14));
  EXPECT_EQ(r.percent, static_cast<uint32_t>(OperatorCsv::Actual(14) * 100 / OperatorCsv::Supply(14)));
  EXPECT_EQ((std::array<int, 4>{r.year, r.month, r.day, r.hour}), (std::array<int, 4>{2026, 12, 7, 14}));
  EXPECT_EQ(r.updated, "2026-12-07T14:55:00+09:00");
}

TEST(OperatorFile, DayFiguresAreTodaysNeverTomorrows) {
  auto file = Read(OperatorCsv{}.Bytes());
  ASSERT_TRUE(file.has_value());
  const auto& day = file->day;
  EXPECT_EQ(day.peakCapacity, 5100) << "tomorrow's block says 5433";
  EXPECT_EQ(day.forecastPeak, 4600) << "tomorrow's block says 4822";
  EXPECT_EQ(day.forecastPeakHour, 18) << "today's 時間帯, 18:00～19:00";
  EXPECT_EQ((std::array<int, 3>{day.year, day.month, day.day}), (std::array<int, 3>{2026, 12, 7}));
  for (int h = 0; h < 24; ++h) {
    EXPECT_EQ(day.hours[h].actual, h < 15 ? OperatorCsv::Actual(h) : 0) << h;
    EXPECT_EQ(day.hours[h].forecast, OperatorCsv::Forecast(h)) << h;
    EXPECT_EQ(day.hours[h].capacity, OperatorCsv::Supply(h)) << h;
  }
  EXPECT_EQ(day.hours[14].percent, OperatorCsv::RoundedPercent(14));
  EXPECT_EQ(day.hours[20].percent, 0) << "an hour to come writes 0";
}

TEST(OperatorFile, TomorrowsBlocksAreNotTakenWhenTodaysAreMissing) {
  OperatorCsv csv;
  csv.withHeadBlocks = false;
  auto file = Read(csv.Bytes());
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->day.peakCapacity, 0);
  EXPECT_EQ(file->day.forecastPeak, 0);
  EXPECT_EQ(file->day.forecastPeakHour, -1);
  // Without a supply column the fallback must not reach tomorrow's 5433.
  csv.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)"};
  EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("ピーク時供給力"));
}

TEST(OperatorFile, LfAndCrlfReadAlike) {
  OperatorCsv lf;
  lf.crlf = false;
  auto a = Read(OperatorCsv{}.Bytes());
  auto b = Read(lf.Bytes());
  ASSERT_TRUE(a && b && a->reading && b->reading);
  EXPECT_EQ(a->reading->usage, b->reading->usage);
  EXPECT_EQ(a->day.peakCapacity, b->day.peakCapacity);
  EXPECT_EQ(a->reading->updated, b->reading->updated);
}

TEST(OperatorFile, JustAfterMidnightThereIsNoReadingYet) {
  OperatorCsv csv;
  csv.hoursWithActual = 0;
  csv.stampTime = "0:05";
  auto file = Read(csv.Bytes());
  ASSERT_TRUE(file.has_value()) << "a sound file, only without actuals";
  EXPECT_FALSE(file->reading.has_value());
  EXPECT_EQ(file->day.forecastPeak, 4600);
  EXPECT_EQ(file->day.updated, "2026-12-07T00:05:00+09:00");
}

// At 1 a.m. the only actual is hour 0's; at 0:05 the next day the operator
// writes the old day's last hour.
TEST(OperatorFile, TheFirstAndTheLastHourOfTheDayAreReadings) {
  OperatorCsv first;
  first.hoursWithActual = 1;
  first.stampTime = "1:05";
  auto file = Read(first.Bytes());
  ASSERT_TRUE(file && file->reading);
  EXPECT_EQ(file->reading->hour, 0);
  EXPECT_EQ(file->reading->usage, OperatorCsv::Actual(0));
  EXPECT_EQ(file->reading->capacity, OperatorCsv::Supply(0));
  OperatorCsv last;
  last.hoursWithActual = 24;
  last.stampDate = "2026/12/8";
  last.stampTime = "0:05";
  file = Read(last.Bytes());
  ASSERT_TRUE(file && file->reading);
  EXPECT_EQ(file->reading->hour, 23);
  EXPECT_EQ(file->reading->day, 7);
  EXPECT_EQ(file->reading->updated, "2026-12-08T00:05:00+09:00");
}

TEST(OperatorFile, HoursToComeReadTheSameAsZeroOrEmpty) {
  OperatorCsv zero, empty;
  empty.futureEmpty = true;
  auto a = Read(zero.Bytes());
  auto b = Read(empty.Bytes());
  ASSERT_TRUE(a && b && a->reading && b->reading);
  EXPECT_EQ(b->reading->hour, 14);
  EXPECT_EQ(a->reading->usage, b->reading->usage);
  EXPECT_EQ(b->day.hours[15].actual, 0);
  EXPECT_EQ(b->day.hours[15].percent, -1) << "an empty percentage is none";
}

TEST(OperatorFile, AnEmptyOrZeroCurrentHourFallsBackToTheHourBefore) {
  for (const char* cell : {"", "0"}) {
    OperatorCsv csv;
    csv.actualText[14] = cell;
    csv.percentText[14] = cell;
    auto file = Read(csv.Bytes());
    ASSERT_TRUE(file && file->reading) << "'" << cell << "'";
    EXPECT_EQ(file->reading->hour, 13);
    EXPECT_EQ(file->reading->usage, OperatorCsv::Actual(13));
  }
}

TEST(OperatorFile, ColumnsAreFoundByNameInAnyOrder) {
  OperatorCsv csv;
  csv.columns = {"DATE", "TIME", "供給力(万kW)", "使用率(%)", "予測値(万kW)", "当日実績(万kW)"};
  auto file = Read(csv.Bytes());
  ASSERT_TRUE(file && file->reading);
  EXPECT_EQ(file->reading->usage, OperatorCsv::Actual(14));
  EXPECT_EQ(file->reading->capacity, OperatorCsv::Supply(14));
  EXPECT_EQ(file->day.hours[3].forecast, OperatorCsv::Forecast(3));
}

TEST(OperatorFile, OtherAreasNamesReadAlike) {
  OperatorCsv csv;
  csv.columns = {"DATE", "TIME", "需要実績(万kW)", "需要予測値(万kW)", "使用率(%)", "供給力想定値(万kW)"};
  auto file = Read(csv.Bytes());
  ASSERT_TRUE(file && file->reading);
  EXPECT_EQ(file->reading->usage, OperatorCsv::Actual(14));
  EXPECT_EQ(file->reading->capacity, OperatorCsv::Supply(14));
}

TEST(OperatorFile, WithoutASupplyColumnTheDaysPeakSupplyIsTheCapacity) {
  OperatorCsv csv;
  csv.columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)"};
  auto file = Read(csv.Bytes());
  ASSERT_TRUE(file && file->reading);
  EXPECT_EQ(file->reading->capacity, 5100);
  EXPECT_EQ(file->day.hours[14].capacity, 0);
  EXPECT_EQ(file->day.hours[14].percent, -1);
  // Where the table has a supply column, it stands in for none of its hours:
  // an actual without its supply is a file caught half-written.
  for (const char* cell : {"", "0"}) {
    OperatorCsv half;
    half.supplyText[14] = cell;
    EXPECT_THAT(Refusal(half.Bytes()), HasSubstr("供給力 for 14時 is empty or 0")) << "'" << cell << "'";
  }
}

TEST(OperatorFile, UsagePercentMustAgreeWithinOnePoint) {
  const double exact = OperatorCsv::Actual(14) * 100.0 / OperatorCsv::Supply(14);
  OperatorCsv csv;
  for (double off : {3.0, -3.0, 1.2, -1.2}) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", exact + off);
    csv.percentText[14] = text;
    EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("使用率")) << text;
    std::snprintf(text, sizeof text, "%.1f", exact + off * 0.3);
    csv.percentText[14] = text;
    EXPECT_TRUE(Read(csv.Bytes()).has_value()) << text << " is within one point";
  }
  // Only the reading's own hour is held against its figures.
  csv.percentText = {{3, "5"}};
  EXPECT_TRUE(Read(csv.Bytes()).has_value());
}

// An empty 使用率 cannot be checked. Where the file writes it beside every
// other actual, the reading's hour without one is a half-written file; where
// the file never gives it, there is nothing to hold the figures against.
TEST(OperatorFile, AnEmptyUsagePercentBesideAnActualIsRefusedWhereTheFileGivesOthers) {
  OperatorCsv csv;
  csv.percentText[14] = "";
  EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("使用率 for 14時 is empty"));
  for (int h = 0; h < 24; ++h) csv.percentText[h] = "";
  csv.percentText.erase(13);  // the hour before alone is enough to tell
  EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("使用率 for 14時 is empty"));
  csv.percentText[13] = "";
  auto file = Read(csv.Bytes());
  ASSERT_TRUE(file && file->reading);
  EXPECT_EQ(file->reading->hour, 14);
}

TEST(OperatorFile, RefusesACutFile) {
  const std::string whole = OperatorCsv{}.Bytes();
  const size_t table = whole.find("DATE,TIME");
  EXPECT_THAT(Refusal(whole.substr(0, table + 400)), HasSubstr("rows, not 24"));
  // Cut inside the last hourly row's final figure: 24 rows, one number short.
  const size_t lastRow = whole.find("2026/12/7,23:00");
  const size_t lineEnd = whole.find("\r\n", lastRow);
  EXPECT_THAT(Refusal(whole.substr(0, lineEnd - 1)), HasSubstr("cut"));
  EXPECT_THAT(Refusal(whole.substr(0, 10)), HasSubstr("DATE,TIME"));
  EXPECT_THAT(Refusal(""), HasSubstr("empty"));
}

TEST(OperatorFile, RefusesAnHtmlErrorPage) {
  const std::string page = "<!DOCTYPE html>\r\n<html><head><title>503 Service Unavailable</title></head>"
                           "<body>メンテナンス中</body></html>\r\n";
  EXPECT_THAT(Refusal(Cp932(page)), HasSubstr("HTML"));
  EXPECT_THAT(Refusal("\r\n  <html>" + OperatorCsv{}.Bytes()), HasSubstr("HTML"));
}

// UTF-8 only after a byte-order mark, as a spreadsheet program writes it.
TEST(OperatorFile, RefusesUtf8InsteadOfShiftJis) {
  EXPECT_THAT(Refusal(OperatorCsv{}.Text()), HasSubstr("UTF-8 without a byte-order mark"));
  EXPECT_THAT(Refusal("\xEF\xBB\xBF" + OperatorCsv{}.Bytes()), HasSubstr("byte-order mark but holds bytes"));
}

// Fields in double quotes, as a spreadsheet program may save every field.
TEST(OperatorFile, QuotedFieldsReadAsTheirText) {
  using gw::bridge::SplitCells;
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"\"2026/12/7\",\"14:00\",\"\",4321", {"2026/12/7", "14:00", "", "4321"}},
      {"\"a \"\"b\"\", c\" , d\r", {"a \"b\", c", "d"}},
      {" \"1,234\" ,", {"1,234", ""}},
  };
  for (const auto& [line, cells] : cases) EXPECT_EQ(SplitCells(line, 1), cells) << line;
  OperatorCsv csv;
  csv.actualText[3] = "\"3,500\"";
  EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("'3,500' is not a number"));
  csv.actualText[3] = "\"3500";
  EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("double quote is never closed"));
  csv.actualText[3] = "\"35\"00";
  EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("text after a field's closing quote"));
}

// Wherever they stand: before the hourly table, or in the five-minute table
// below it, which is never read.
TEST(OperatorFile, RefusesBytesThatAreNotShiftJis) {
  for (const char* before : {"DATE,TIME", "2026/12/7,12:05,"}) {
    std::string bytes = OperatorCsv{}.Bytes();
    bytes.insert(bytes.find(before), "\x85\x20");  // 0x85 leads no CP932 character
    EXPECT_THAT(Refusal(bytes), HasSubstr("Shift_JIS")) << before;
  }
  EXPECT_THAT(Refusal(std::string("2026/12/7\0DATE,TIME", 19)), HasSubstr("zero bytes"));
}

// Whatever follows the tables is never read, but it is counted: a file of
// endless lines or cells is refused before it can cost memory. A file at
// each cap is still read.
TEST(OperatorFile, AFileAtEachOfTheReadersCapsIsReadAndOneMoreIsRefused) {
  using namespace gw::bridge;
  const std::string whole = OperatorCsv{}.Bytes();
  const size_t lines = static_cast<size_t>(std::count(whole.begin(), whole.end(), '\n'));
  // Long lines up to the file's cap in bytes, then one of the rest.
  std::string full = whole;
  while (full.size() + kMaxLineBytes + 1 < kMaxOperatorFileBytes) full += std::string(kMaxLineBytes, '1') + "\n";
  full += std::string(kMaxOperatorFileBytes - full.size() - 1, '1') + "\n";
  const struct {
    std::string atCap, oneMore;
    const char* reason;
  } cases[] = {
      {whole + std::string(kMaxFileLines - lines, '\n'), whole + std::string(kMaxFileLines - lines + 1, '\n'),
       "lines, more than the 10000"},
      {whole + std::string(kMaxLineCells - 1, ',') + "\n", whole + std::string(kMaxLineCells, ',') + "\n",
       "more than 256 cells"},
      {whole + std::string(kMaxLineBytes, '1') + "\n", whole + std::string(kMaxLineBytes + 1, '1') + "\n",
       "bytes, more than the 4096"},
      {full, full + "1", "more than the 2 MiB"},
  };
  for (const auto& c : cases) {
    std::string reason;
    auto file = Read(c.atCap, &reason);
    EXPECT_TRUE(file && file->reading) << c.reason << ": at the cap, " << reason;
    EXPECT_THAT(Refusal(c.oneMore), HasSubstr(c.reason));
  }
}

TEST(OperatorFile, RefusesAnHourlyTableWithoutTwentyFourRows) {
  const std::string text = OperatorCsv{}.Text();
  EXPECT_THAT(Refusal(Cp932(WithoutLine(text, "2026/12/7,5:00,"))), HasSubstr("23 rows"));
  std::string extra = text;
  extra.insert(extra.find("\r\n", extra.find("2026/12/7,23:00")) + 2, "2026/12/7,24:00,1,1,1,1\r\n");
  EXPECT_THAT(Refusal(Cp932(extra)), HasSubstr("25 rows"));
}

TEST(OperatorFile, RefusesFiguresThatAreNotNumbers) {
  const std::pair<const char*, const char*> cases[] = {
      {"12a", "not a number"}, {"-5", "negative"}, {"3,500", "more cells"}, {"1e3", "not a number"},
      {"1234567890", "out of range"}};
  for (const auto& [cell, why] : cases) {
    OperatorCsv csv;
    csv.actualText[3] = cell;
    EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr(why)) << cell;
  }
  OperatorCsv percent;
  percent.percentText[14] = "-80";
  EXPECT_THAT(Refusal(percent.Bytes()), HasSubstr("negative"));
}

TEST(OperatorFile, RefusesRowsOutOfOrderOrOfAnotherDay) {
  std::string text = OperatorCsv{}.Text();
  std::string swapped = text;
  swapped.replace(swapped.find("2026/12/7,7:00,"), 15, "2026/12/7,8:00,");
  EXPECT_THAT(Refusal(Cp932(swapped)), HasSubstr("hour 7:00"));
  std::string otherDay = text;
  otherDay.replace(otherDay.find("2026/12/7,9:00,"), 10, "2026/12/8,");
  EXPECT_THAT(Refusal(Cp932(otherDay)), HasSubstr("another day"));
}

// A date or time that does not exist is refused, never read as the day or
// the hour after it: 2026 has no 2/29 (2028 has), a day no 24:00.
TEST(OperatorFile, RefusesAFileWithoutItsStampLineOrWithABadOne) {
  std::string text = OperatorCsv{}.Text();
  EXPECT_THAT(Refusal(Cp932(text.substr(text.find('\n') + 1))), HasSubstr("stamp line"));
  const struct {
    const char *date, *time;
    int month, day, hoursWithActual;  // the table's
    const char* reason;
  } stamps[] = {
      {"2026/13/7", "14:55", 12, 7, 15, "not a date"},
      {"2026/2/29", "14:55", 3, 1, 15, "not a date"},
      {"2026/12/7", "24:00", 12, 7, 24, "not a time"},
      {"2026/12/7", "7:60", 12, 7, 8, "not a time"},
  };
  for (const auto& s : stamps) {
    OperatorCsv csv;
    csv.stampDate = s.date;
    csv.stampTime = s.time;
    csv.month = s.month;
    csv.day = s.day;
    csv.hoursWithActual = s.hoursWithActual;
    EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr(s.reason)) << s.date << " " << s.time;
  }
  OperatorCsv leap;
  leap.month = 2;
  leap.day = 29;
  leap.year = 2026;
  EXPECT_THAT(Refusal(leap.Bytes()), HasSubstr("'2026/2/29' is not a date"));
  leap.year = 2028;
  auto file = Read(leap.Bytes());
  ASSERT_TRUE(file && file->reading);
  EXPECT_EQ(file->reading->day, 29);
}

// 時間帯 gives the hour the forecast peak starts; a day has no 24:00.
TEST(OperatorFile, TheForecastPeaksHourIsAnHourOfTheDay) {
  const std::pair<const char*, int> spans[] = {{"0:00～1:00", 0}, {"23:00～24:00", 23}, {"24:00～1:00", -1}};
  for (const auto& [span, hour] : spans) {
    OperatorCsv csv;
    csv.withHeadBlocks = false;
    csv.extraBlocks = {"予想最大電力(万kW),時間帯", std::string("4600,") + span, ""};
    auto file = Read(csv.Bytes());
    ASSERT_TRUE(file.has_value()) << span;
    EXPECT_EQ(file->day.forecastPeak, 4600) << span;
    EXPECT_EQ(file->day.forecastPeakHour, hour) << span;
  }
}

TEST(OperatorFile, RefusesAnHourlyTableWithoutAnActualColumn) {
  OperatorCsv csv;
  csv.columns = {"DATE", "TIME", "予測値(万kW)", "供給力(万kW)"};
  EXPECT_THAT(Refusal(csv.Bytes()), HasSubstr("実績"));
}

}  // namespace
