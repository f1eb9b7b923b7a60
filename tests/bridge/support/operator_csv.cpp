#include "support/operator_csv.h"

#include <cmath>

#include "base/codepage.h"
#include "bridge/reading/japan_time.h"

namespace gwtest {
namespace {

const int kShape[24] = {70, 67, 65, 64, 64, 66, 72, 80, 87, 90, 91, 92, 91, 92, 93, 92, 91, 92, 93, 91, 87, 82, 77, 73};

std::string Join(const std::vector<std::string>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) line += (i ? "," : "") + cells[i];
  return line;
}

bool Has(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

std::string Two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// The day before, as the head blocks write a date (12/31 before 1/1).
std::string DayBefore(int year, int month, int day) {
  const std::string iso = gw::bridge::UnixToJapanIso(gw::bridge::JapanTimeToUnix(year, month, day, 0) - 3600);
  return std::to_string(std::stoi(iso.substr(5, 2))) + "/" + std::to_string(std::stoi(iso.substr(8, 2)));
}

struct HeadLayout {
  std::string prefix, date;
  bool reserve = false, blank = false;
  int scale = 100;
  std::string leftOverDate;  // as the day before left tomorrow's blocks: 0, dated so
};

// `extra` names a column after the update's date and time (a 使用率), and
// `value` is its cell.
std::vector<std::string> HeadBlock(const std::string& name, int figure, const std::string& hours, const char* kind,
                                   const HeadLayout& l, int reserve, const std::string& extra = "",
                                   const std::string& value = "") {
  const std::string header = name + ",時間帯" + (l.reserve ? ",予備率(%)" : "") + "," + kind + "情報更新日," + kind +
                             "情報更新時刻" + (extra.empty() ? "" : "," + extra);
  if (l.blank) return {header, std::string(static_cast<size_t>(std::count(header.begin(), header.end(), ',')), ','), ""};
  const std::string tail = extra.empty() ? "" : ",";
  if (!l.leftOverDate.empty()) {
    return {header, "0,0:00～1:00" + std::string(l.reserve ? "," : "") + "," + l.leftOverDate + ",16:29" + tail, ""};
  }
  return {header,
          std::to_string(figure) + "," + hours + (l.reserve ? "," + std::to_string(reserve) : "") + "," + l.date +
              ",8:30" + (extra.empty() ? "" : "," + value),
          ""};
}

std::string Hours(int hour) { return std::to_string(hour) + ":00～" + std::to_string(hour + 1) + ":00"; }

// The day's peak, its tightest hour and its lowest reserve; `named` goes
// before every name (翌日の for tomorrow's).
std::vector<std::string> HeadBlocks(const HeadLayout& l, const std::string& named, int peakSupply, int forecastPeak,
                                    int peakHour, const OperatorCsv::Tightest& tight) {
  const int reserve = static_cast<int>(std::lround((peakSupply - forecastPeak) * 100.0 / peakSupply));
  const std::string forecastName = l.prefix.empty() ? "予想最大電力(万kW)" : l.prefix + "ピーク時予想最大電力(万kW)";
  const int supply = tight.supply * l.scale / 100, demand = tight.demand * l.scale / 100;
  const std::string percent =
      tight.percentText.empty() ? std::to_string(std::lround(demand * 100.0 / supply)) : tight.percentText;
  std::vector<std::string> lines;
  for (auto& block :
       {HeadBlock(named + l.prefix + "ピーク時供給力(万kW)", peakSupply, Hours(peakHour), "供給力", l, reserve),
        HeadBlock(named + forecastName, forecastPeak, Hours(peakHour), "予想最大電力", l, reserve),
        HeadBlock(named + "使用率ピーク時供給力(万kW)", supply, Hours(tight.hour), "使用率ピーク時供給力", l, reserve,
                  "使用率ピーク時使用率(%)", percent),
        HeadBlock(named + "使用率ピーク時予想最大電力(万kW)", demand, Hours(tight.hour), "使用率ピーク時予想最大電力", l,
                  reserve),
        HeadBlock(named + "予備率ピーク時供給力(万kW)", peakSupply - 80, Hours(peakHour), "供給力", l, reserve)}) {
    lines.insert(lines.end(), block.begin(), block.end());
  }
  return lines;
}

}  // namespace

int OperatorCsv::Forecast(int hour) { return 4600 * kShape[hour] / 100; }
int OperatorCsv::Actual(int hour) { return Forecast(hour) + (hour * 37) % 21 - 10; }
int OperatorCsv::Supply(int hour) { return 5100 - (hour * 13) % 7 * 10; }
int OperatorCsv::RoundedPercent(int hour) {
  return static_cast<int>(std::lround(Actual(hour) * 100.0 / Supply(hour)));
}

std::string OperatorCsv::DateText(int d) const {
  return std::to_string(year) + "/" + (padded ? Two(month) : std::to_string(month)) + "/" +
         (padded ? Two(d) : std::to_string(d));
}

std::string OperatorCsv::Clock(int hour, int minute) const {
  return (padded ? Two(hour) : std::to_string(hour)) + ":" + Two(minute);
}

// One hourly row, each cell by its column's name, tried in the order the
// reader tries them.
std::string OperatorCsv::HourRow(int hour) const {
  const bool come = hour < hoursWithActual;
  const std::string future = futureEmpty ? "" : "0";
  const double shown = come ? Actual(hour) : Forecast(hour);
  const bool percentShown = come || percentForecast;
  std::vector<std::string> cells;
  cells.push_back(DateText(day));  // DATE and TIME, however their names are written
  cells.push_back(Clock(hour, 0));
  for (size_t i = 2; i < columns.size(); ++i) {
    const std::string& name = columns[i];
    if (Has(name, "使用率")) cells.push_back(percentText.count(hour) ? percentText.at(hour)
                                                 : percentShown ? std::to_string(std::lround(shown * 100 / Supply(hour)))
                                                                : future);
    else if (Has(name, "予備率")) cells.push_back(percentShown ? std::to_string(std::lround(
                                                                   (Supply(hour) - shown) * 100 / Supply(hour)))
                                                             : future);
    else if (Has(name, "供給力")) cells.push_back(supplyText.count(hour) ? supplyText.at(hour) : Scaled(Supply(hour)));
    else if (Has(name, "実績")) cells.push_back(actualText.count(hour) ? actualText.at(hour)
                                              : come ? Scaled(Actual(hour)) : future);
    else if (Has(name, "予測") || Has(name, "予想")) cells.push_back(forecastText.count(hour) ? forecastText.at(hour)
                                                                                    : Scaled(Forecast(hour)));
    else cells.push_back("");
  }
  return Join(cells);
}

std::string OperatorCsv::Scaled(double figure) const {
  return std::to_string(std::lround(figure * scalePercent / 100));
}

std::string OperatorCsv::Text() const {
  const std::string date = DateText(day);
  std::vector<std::string> lines = {(stampDate.empty() ? date : stampDate) + " " + stampTime + " UPDATE"};
  const std::string today = headDate.empty() ? std::to_string(month) + "/" + std::to_string(day) : headDate;
  if (withHeadBlocks) {
    for (auto& l : HeadBlocks({headPrefix, today, headReserve, blankHead, scalePercent, ""}, "",
                              peakSupply * scalePercent / 100, forecastPeak * scalePercent / 100, 18, todayTight)) {
      lines.push_back(l);
    }
  }
  lines.insert(lines.end(), extraBlocks.begin(), extraBlocks.end());
  lines.push_back(Join(columns));
  for (int hour = 0; hour < 24; ++hour) lines.push_back(HourRow(hour));
  for (const char* l : {"", "最大使用率(%),時間帯", "93,14:00～15:00", ""}) lines.push_back(l);
  // Tomorrow's blocks, with other figures: never to be taken for today's.
  if (tomorrow != Tomorrow::kAbsent) {
    const std::string date = std::to_string(month) + "/" + std::to_string(day);  // published today
    HeadLayout l{headPrefix, date, headReserve, tomorrow == Tomorrow::kUnfilled, scalePercent, ""};
    const std::string dayBefore = DayBefore(year, month, day);
    if (tomorrow == Tomorrow::kLeftOver) l.leftOverDate = dayBefore;
    if (tomorrow == Tomorrow::kZeroed) l.leftOverDate = date;
    if (tomorrow == Tomorrow::kYesterdays) l.date = dayBefore;
    for (auto& line : HeadBlocks(l, tomorrow == Tomorrow::kUnnamed ? "" : "翌日の", 5433 * scalePercent / 100,
                                 4822 * scalePercent / 100, 17, tomorrowTight)) {
      lines.push_back(line);
    }
  }
  lines.push_back("DATE,TIME,当日実績(５分間隔値)(万kW),太陽光発電実績(５分間隔値)(万kW),"
                  "太陽光発電実績(５分間隔値)の割合(%)");
  for (int minute = 0; minute < 24 * 60; minute += 5) {
    const int hour = minute / 60;
    const int value = hour < hoursWithActual ? Actual(hour) + 7 : 0;
    lines.push_back(date + "," + Clock(hour, minute % 60) + "," + std::to_string(value) + "," +
                    std::to_string(value / 10) + "," + (value ? "10" : "0"));
  }
  std::string text;
  for (const auto& l : lines) text += l + (crlf ? "\r\n" : "\n");
  return text;
}

std::string OperatorCsv::Bytes() const { return gw::WideToCp932(gw::Utf8ToWide(Text())); }

}  // namespace gwtest
