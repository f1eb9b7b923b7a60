#include "bridge/cache/forecast_documents.h"

#include <cstdio>

#include "bridge/cache/documents.h"
#include "bridge/reading/forecasts.h"
#include "bridge/reading/japan_time.h"

namespace gw::bridge {
namespace {

std::string Member(const char* name, int32_t value) {
  return std::string(", \"") + name + "\": " + std::to_string(value);
}

}  // namespace

std::string DayForecastJson(const DayForecast& f) {
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", f.year, f.month, f.day);
  std::string json = "{\"date\": \"" + std::string(date) + "\"";
  if (f.tightHour >= 0) {
    json += Member("hour", f.tightHour) + ", \"hour_start\": " +
            JsonString(UnixToJapanIso(JapanTimeToUnix(f.year, f.month, f.day, f.tightHour)));
  }
  if (f.tightSupply > 0) json += Member("supply", f.tightSupply);
  if (f.tightDemand > 0) json += Member("forecast_demand", f.tightDemand);
  if (f.tightPercent >= 0) json += Member("usage_percent", f.tightPercent);
  if (f.peakSupply > 0) json += Member("peak_supply", f.peakSupply);
  if (f.peakSupplyHour >= 0) json += Member("peak_supply_hour", f.peakSupplyHour);
  if (f.forecastPeak > 0) json += Member("forecast_peak", f.forecastPeak);
  if (f.forecastPeakHour >= 0) json += Member("forecast_peak_hour", f.forecastPeakHour);
  return json + "}";
}

std::string OutlookJsonMembers(const Outlook& outlook, int64_t now) {
  const OutlookNow at = OutlookAt(outlook, now);
  std::string json;
  if (at.today != nullptr) json += "\"today\": " + DayForecastJson(*at.today);
  if (at.tomorrow != nullptr) json += (json.empty() ? "" : ", ") + std::string("\"tomorrow\": ") +
                                      DayForecastJson(*at.tomorrow);
  return json;
}

Answer ForecastAnswer(const Area& area, const SourceView& view) {
  if (!view.Fresh()) return UnservedAnswer(view, true);
  const std::string members = OutlookJsonMembers(view.snapshot->day.outlook, view.now);
  return MakeAnswer(200, kJsonType, "{\"area\": " + JsonString(area.name) + ", \"updated\": " +
                                        JsonString(view.snapshot->day.updated) +
                                        (members.empty() ? "" : ", " + members) + "}\n");
}

}  // namespace gw::bridge
