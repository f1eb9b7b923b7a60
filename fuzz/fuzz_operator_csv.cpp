// The bridge's operator-file reader on arbitrary bytes: whatever arrives from
// the source, it takes a whole, consistent file or refuses with a reason.
// Besides sanitizer findings, checks what a taken file must satisfy, since
// its numbers go to every plug-in that asks.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bridge/reading/areas.h"
#include "bridge/reading/japan_time.h"
#include "bridge/reading/operator_file.h"

namespace {

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

bool WithinArea(int32_t figure, const gw::bridge::Area& area) {
  return figure == 0 || (figure >= gw::bridge::AreaFloor(area) && figure <= gw::bridge::AreaCeiling(area));
}

void CheckTaken(const gw::bridge::OperatorFile& file, const gw::bridge::Area& area) {
  const auto& day = file.day;
  Require(day.month >= 1 && day.month <= 12 && day.day >= 1 && day.day <= 31, "a calendar date");
  Require(day.updated.size() == 25 && day.updated.compare(19, 6, "+09:00") == 0, "an ISO stamp in Japan time");
  for (const auto& h : day.hours) {
    Require(h.actual >= 0 && h.forecast >= 0 && h.capacity >= 0 && h.percent >= -1, "no negative figure");
    Require(WithinArea(h.forecast, area) && WithinArea(h.capacity, area), "supply and forecasts within the area");
    Require(h.actual <= gw::bridge::AreaCeiling(area), "no actual above the area's bounds (a blackout's may be low)");
    Require(h.capacity == 0 || int64_t{h.actual} * 100 <= int64_t{h.capacity} * 120, "usage within its supply");
  }
  Require(WithinArea(day.peakCapacity, area) && WithinArea(day.forecastPeak, area), "head figures within the area");
  const int64_t dayStart = gw::bridge::JapanTimeToUnix(day.year, day.month, day.day, 0);
  Require(file.stamp >= dayStart && file.stamp <= dayStart + 27 * 3600, "the stamp is of the table's day");
  Require(gw::bridge::UnixToJapanIso(file.stamp) == day.updated, "the stamp and its text agree");
  if (!file.reading) return;
  const auto& r = *file.reading;
  Require(r.usage > 0 && r.capacity > 0, "a reading has usage and capacity");
  Require(r.hour >= 0 && r.hour <= 23 && day.hours[r.hour].actual == r.usage, "the reading is its hour's actual");
  for (int h = r.hour + 1; h < 24; ++h) Require(day.hours[h].actual == 0, "no later hour has an actual");
  Require(r.year == day.year && r.month == day.month && r.day == day.day, "the reading is of the file's day");
  Require(r.percent == static_cast<uint32_t>(int64_t{r.usage} * 100 / r.capacity), "the percentage is computed");
  Require(r.percent <= 120, "usage within its supply");
  Require(file.stamp >= gw::bridge::JapanTimeToUnix(r.year, r.month, r.day, r.hour), "stamped after its hour began");
  const double own = day.hours[r.hour].percent;
  Require(own < 0 || std::fabs(own - r.usage * 100.0 / r.capacity) <= 1.0, "a given 使用率 agrees");
}

void ReadAs(std::string_view bytes, const gw::bridge::Area& area) {
  std::string reason;
  auto file = gw::bridge::TryReadOperatorFile(bytes, area, &reason);
  if (file) {
    CheckTaken(*file, area);
  } else {
    Require(!reason.empty() && reason.find('\n') == std::string::npos, "a refusal has a one-line reason");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // As Tokyo's file, as most seeds are, and as one more area picked by the
  // input's length, so that every area's bounds meet the mutations.
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto& areas = gw::bridge::AllAreas();
  const gw::bridge::Area& tokyo = *gw::bridge::FindArea("tokyo");
  ReadAs(bytes, tokyo);
  if (&areas[size % areas.size()] != &tokyo) ReadAs(bytes, areas[size % areas.size()]);
  return 0;
}
