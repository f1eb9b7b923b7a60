// Japan's ten grid areas, each with its own transmission operator and its
// own file of the day. Most operators put the day in the file's name, so a
// source may hold `{date}`: the current day in Japan as YYYYMMDD, filled in
// at every fetch.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gw::bridge {

// The size of an area's grid, from which its figures' bounds follow: no
// demand or supply figure of the area lies above half as much again as its
// record peak, nor below a tenth of it (where a figure in GW rather than
// 万kW, or a placeholder such as 1, would land). A figure outside them is a
// wrong unit, a misread column or an edited file, never the grid.
struct AreaSize {
  int32_t recordPeak;  // the area's highest hourly demand, in 万kW
  const char* basis;   // where that figure comes from, for the reason
};

struct Area {
  const char* name;    // as on the command line and in the per-area API, e.g. "kansai"
  const char* label;   // the area's name as the operators write it, e.g. "関西"
  const char* source;  // the operator's file of the day, possibly with {date}
  AreaSize size;
};

// The bounds above, in 万kW.
int32_t AreaFloor(const Area& area);
int32_t AreaCeiling(const Area& area);

constexpr size_t kAreaCount = 10;

// North to south, as the operators number them.
const std::array<Area, kAreaCount>& AllAreas();

// The area so named, or null.
const Area* FindArea(std::string_view name);
// Its place in AllAreas(), for tables indexed by area.
size_t AreaIndex(const Area& area);
// "hokkaido, tohoku, ..., okinawa", for messages.
std::string AreaNames();

// The source with every `{date}` replaced by the day in Japan at
// `unixSeconds`, e.g. juyo_06_{date}.csv -> juyo_06_20261207.csv.
std::string SourceForDay(std::string_view source, int64_t unixSeconds);
bool IsDatedSource(std::string_view source);

// The source as the bridge shows and logs it: its scheme, host (with the
// port) and path. A login in it (user:password@) and its query (a token,
// say) are the operator's secrets for this bridge alone: they are sent to
// the operator, never served to clients nor written to the log.
std::string ShownSource(std::string_view url);

}  // namespace gw::bridge
