#include "support/operator_csv.h"

#include <cmath>

#include "base/codepage.h"

namespace gwtest {
namespace {

const int kShape[24] = {70, 67, 65, 64, 64, 66, 72, 80, 87, 90, 91, 92, 91, 92, 93, 92, 91, 92, 93, 91, 87, 82, 77, 73};

std::string Join(const std::vector<std::string>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) line += (i ? "," : "") + cells[i];
  return line;
}

std::vector<std::string> HeadBlocks(int month, int day, int peakSupply, int forecastPeak) {
  const std::string when = "," + std::to_string(month) + "/" + std::to_string(day) + ",8:30";
  return {"ピーク時供給力(万kW),時間帯,供給力情報更新日,供給力情報更新時刻",
          std::to_string(peakSupply) + ",18:00～19:00" + when, "",
          "予想最大電力(万kW),時間帯,予想最大電力情報更新日,予想最大電力情報更新時刻",
          std::to_string(forecastPeak) + ",18:00～19:00" + when, "",
          "使用率ピーク時供給力(万kW),時間帯,供給力情報更新日,供給力情報更新時刻",
          std::to_string(peakSupply - 40) + ",18:00～19:00" + when, "",
          "予備率ピーク時供給力(万kW),時間帯,供給力情報更新日,供給力情報更新時刻",
          std::to_string(peakSupply - 80) + ",18:00～19:00" + when, ""};
}

bool Has(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

}  // namespace

int OperatorCsv::Forecast(int hour) { return 4600 * kShape[hour] / 100; }
int OperatorCsv::Actual(int hour) { return Forecast(hour) + (hour * 37) % 21 - 10; }
int OperatorCsv::Supply(int hour) { return 5100 - (hour * 13) % 7 * 10; }
int OperatorCsv::RoundedPercent(int hour) {
  return static_cast<int>(std::lround(Actual(hour) * 100.0 / Supply(hour)));
}

std::string OperatorCsv::Text() const {
  const std::string date = std::to_string(year) + "/" + std::to_string(month) + "/" + std::to_string(day);
  std::vector<std::string> lines = {date + " " + stampTime + " UPDATE"};
  if (withHeadBlocks) {
    for (auto& l : HeadBlocks(month, day, peakSupply, forecastPeak)) lines.push_back(l);
  }
  lines.push_back(Join(columns));
  for (int hour = 0; hour < 24; ++hour) {
    const bool come = hour < hoursWithActual;
    const std::string future = futureEmpty ? "" : "0";
    std::vector<std::string> cells;
    for (const auto& name : columns) {
      if (name == "DATE") cells.push_back(date);
      else if (name == "TIME") cells.push_back(std::to_string(hour) + ":00");
      else if (Has(name, "使用率")) cells.push_back(percentText.count(hour) ? percentText.at(hour)
                                                   : come ? std::to_string(RoundedPercent(hour)) : future);
      else if (Has(name, "実績")) cells.push_back(actualText.count(hour) ? actualText.at(hour)
                                                : come ? std::to_string(Actual(hour)) : future);
      else if (Has(name, "予測")) cells.push_back(std::to_string(Forecast(hour)));
      else if (Has(name, "供給力")) cells.push_back(std::to_string(Supply(hour)));
      else cells.push_back("");
    }
    lines.push_back(Join(cells));
  }
  for (const char* l : {"", "最大使用率(%),時間帯", "93,14:00～15:00", ""}) lines.push_back(l);
  // Tomorrow's blocks, with other figures: never to be taken.
  for (auto& l : HeadBlocks(month, day + 1, peakSupply + 333, forecastPeak + 222)) lines.push_back(l);
  lines.push_back("DATE,TIME,当日実績(５分間隔値)(万kW),太陽光発電実績(５分間隔値)(万kW),"
                  "太陽光発電実績(５分間隔値)の割合(%)");
  for (int minute = 0; minute < 24 * 60; minute += 5) {
    const int hour = minute / 60;
    const int value = hour < hoursWithActual ? Actual(hour) + 7 : 0;
    char row[96];
    std::snprintf(row, sizeof row, "%s,%d:%02d,%d,%d,%d", date.c_str(), hour, minute % 60, value, value / 10,
                  value ? 10 : 0);
    lines.push_back(row);
  }
  std::string text;
  for (const auto& l : lines) text += l + (crlf ? "\r\n" : "\n");
  return text;
}

std::string OperatorCsv::Bytes() const { return gw::WideToCp932(gw::Utf8ToWide(Text())); }

}  // namespace gwtest
