// Operator-style files of the day for tests, built as the Tokyo-area
// operator lays them out: a stamp line, today's head blocks (the day's peak
// and its tightest hour), the hourly table, the 最大使用率 block, tomorrow's
// blocks with other figures, and the five-minute table. Every part can be changed to build the faults the
// reader must catch. The figures follow tools/operator_csv.py's curve.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace gwtest {

struct OperatorCsv {
  int year = 2026, month = 12, day = 7;
  std::string stampTime = "14:55";
  std::string stampDate;     // the stamp line's Y/M/D; empty: the table's date
  int hoursWithActual = 15;  // hours 0 .. n-1 carry an actual
  bool futureEmpty = false;  // hours to come as empty cells instead of 0
  bool crlf = true;
  bool withHeadBlocks = true;
  std::vector<std::string> columns = {"DATE", "TIME", "当日実績(万kW)", "予測値(万kW)", "使用率(%)", "供給力(万kW)"};
  std::map<int, std::string> percentText;  // hour -> the 使用率 cell as written
  std::map<int, std::string> actualText;   // hour -> the 実績 cell as written
  std::map<int, std::string> supplyText;   // hour -> the 供給力 cell as written
  std::map<int, std::string> forecastText; // hour -> the 予測値 cell as written
  int peakSupply = 5100;
  int forecastPeak = 4600;
  // Every figure in percent of Tokyo's, for an area of another size; the
  // static figures below stay Tokyo's.
  int scalePercent = 100;

  // Other areas' variants of the layout, as tools/operator_csv.py --area
  // writes them.
  bool padded = false;             // 2026/12/07 and 00:00 in the table
  std::string headPrefix;          // "需要": 需要ピーク時供給力, 需要ピーク時予想最大電力
  std::string headDate;            // the head blocks' update date; empty: "12/7"
  bool headReserve = false;        // a 予備率(%) column in the head blocks
  bool blankHead = false;          // today's head blocks not yet published: ",,,,"
  std::vector<std::string> extraBlocks;  // lines between the head blocks and the table
  bool percentForecast = false;    // 使用率 (and 予備率) of hours to come hold a forecast

  // The tightest hour's blocks (使用率ピーク時供給力 with its 使用率 and
  // 使用率ピーク時予想最大電力), today's before the table and tomorrow's
  // after it. A 使用率 text left empty is written as the operator rounds it.
  struct Tightest {
    int supply, demand, hour;
    std::string percentText;
  };
  Tightest todayTight{5060, 4600, 18, ""};    // 90.9 %, written 91
  Tightest tomorrowTight{4900, 4520, 3, ""};  // 92.2 %, written 92, at night
  // How tomorrow's blocks are written: named 翌日の…, with the same names as
  // today's, not yet published (`,,,,,`), left over from the day before
  // (Kansai's `0,0:00～1:00,12/24,16:29,` on 12/25), the same 0 dated
  // today, still the day before's figures for today (dated the day before),
  // or not at all.
  enum class Tomorrow { kNamed, kUnnamed, kUnfilled, kLeftOver, kZeroed, kYesterdays, kAbsent };
  Tomorrow tomorrow = Tomorrow::kNamed;

  static int Actual(int hour);
  static int Forecast(int hour);
  static int Supply(int hour);
  // usage * 100 / capacity, rounded as the operator writes it.
  static int RoundedPercent(int hour);

  std::string Text() const;   // UTF-8
  std::string Bytes() const;  // CP932, as published

 private:
  std::string DateText(int d) const;
  std::string Clock(int hour, int minute) const;
  std::string HourRow(int hour) const;
  std::string Scaled(double figure) const;
};

}  // namespace gwtest
