// The operator's forecasts as the plain API gives them: in /areas.json
// beside each area's reading, and alone at /areas/NAME/forecast.json. Never
// in /latest.json: the plug-in picks its fields out of that by name, at any
// depth, and a forecast's "hour" would be taken for the reading's.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/cache/cache.h"
#include "bridge/cache/source_documents.h"
#include "bridge/reading/areas.h"
#include "bridge/reading/figures.h"

namespace gw::bridge {

// One day's forecast as a JSON object, holding only the parts the file
// gives (a part not given is absent, never 0): "date", then the tightest
// hour's "hour", "hour_start", "supply", "forecast_demand" and
// "usage_percent", then "peak_supply" and "forecast_peak" with their hours.
std::string DayForecastJson(const DayForecast& forecast);

// `"today": {...}, "tomorrow": {...}` as they stand at `now`, each only
// when known; empty when neither is.
std::string OutlookJsonMembers(const Outlook& outlook, int64_t now);

// /areas/NAME/forecast.json: the area, the file's stamp and the outlook
// while a fresh reading is held; else /latest.json's 503.
Answer ForecastAnswer(const Area& area, const SourceView& view);

}  // namespace gw::bridge
