#include "bridge/cache/grid_metrics.h"

#include <cstdio>

#include "bridge/cache/cache.h"
#include "bridge/reading/forecasts.h"
#include "bridge/reading/japan_time.h"

namespace gw::bridge {
namespace {

std::string Family(const char* name, const char* help) {
  return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

std::string Ratio(double ratio) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", ratio);
  return text;
}

std::string Sample(const char* name, const AreaReading& a, const std::string& value, const char* day = nullptr) {
  return std::string(name) + "{area=\"" + a.area->name + "\"" + (day ? std::string(",day=\"") + day + "\"" : "") +
         "} " + value + "\n";
}

// One family of the reading, for every area holding a fresh one.
template <typename Value>
std::string ReadingFamily(const std::vector<AreaReading>& areas, const char* name, const char* help, Value value) {
  std::string out = Family(name, help);
  for (const AreaReading& a : areas) {
    if (a.fresh) out += Sample(name, a, value(*a.snapshot));
  }
  return out;
}

// One family of the forecasts: today's and tomorrow's, where known.
template <typename Value>
std::string ForecastFamily(const std::vector<AreaReading>& areas, int64_t now, const char* name, const char* help,
                           Value value) {
  std::string out = Family(name, help);
  for (const AreaReading& a : areas) {
    if (!a.fresh) continue;
    const OutlookNow at = OutlookAt(a.snapshot->day.outlook, now);
    for (auto [day, f] : {std::pair{"today", at.today}, std::pair{"tomorrow", at.tomorrow}}) {
      if (f == nullptr) continue;
      if (const std::string v = value(*f); !v.empty()) out += Sample(name, a, v, day);
    }
  }
  return out;
}

}  // namespace

std::string RenderGridFigures(const std::vector<AreaReading>& areas, int64_t now) {
  std::string out = ReadingFamily(areas, "gridwren_grid_demand_watts", "Demand of the area's reading hour (its "
                                  "actual), as the operator publishes it.",
                                  [](const Snapshot& s) { return std::to_string(s.reading.usage * kWattsPerManKw); });
  out += ReadingFamily(areas, "gridwren_grid_supply_watts", "Supply capacity of the area's reading hour.",
                       [](const Snapshot& s) { return std::to_string(s.reading.capacity * kWattsPerManKw); });
  out += ReadingFamily(areas, "gridwren_grid_usage_ratio", "Demand over supply capacity of the area's reading hour "
                       "(the operators' bands start at 0.92, 0.95 and 0.97).",
                       [](const Snapshot& s) { return Ratio(static_cast<double>(s.reading.usage) / s.reading.capacity); });
  out += ReadingFamily(areas, "gridwren_grid_reading_hour_timestamp_seconds", "Start of the area's reading hour.",
                       [](const Snapshot& s) { return std::to_string(s.readingTime); });
  out += ForecastFamily(areas, now, "gridwren_grid_forecast_usage_ratio", "The operator's forecast usage of its "
                        "day's tightest hour (使用率ピーク時), for today and tomorrow.",
                        [](const DayForecast& f) { return f.tightPercent < 0 ? "" : Ratio(f.tightPercent / 100.0); });
  out += ForecastFamily(areas, now, "gridwren_grid_forecast_hour_timestamp_seconds", "Start of the tightest hour "
                        "the operator forecasts, for today and tomorrow.",
                        [](const DayForecast& f) {
                          return f.tightHour < 0 ? std::string()
                                                 : std::to_string(JapanTimeToUnix(f.year, f.month, f.day,
                                                                                  f.tightHour));
                        });
  return out;
}

}  // namespace gw::bridge
