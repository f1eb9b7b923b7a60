// Bounds that no real grid's figures pass. A figure beyond them is a misread
// column, a wrong unit (kW for 万kW), an edited or broken file: serving it
// would show every plug-in a number no grid can have, so the file is
// refused with the limit's reason and the held reading stays. Each figure is
// held against its own area's size, its hour's supply and the hours before
// it in the same table.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/reading/areas.h"
#include "bridge/reading/figures.h"

namespace gw::bridge {

struct FigureLimit {
  int64_t bound;
  const char* what;    // what is bounded, as a log line names it
  const char* reason;  // why no real grid goes beyond it
};

enum class Limit { kUsageOfCapacity, kHourlyChange };

// The one table of limits, indexed by Limit.
extern const FigureLimit kFigureLimits[2];

// Each returns an empty string when the figures are within the limit, or a
// one-line reason naming the rule, the figures, the bound and why it holds.
// `where` names the place, e.g. "14時" or "line 3, column ピーク時供給力".
std::string FigureOutsideArea(const std::string& where, int64_t figure, const Area& area);
std::string UsageBeyondCapacity(const std::string& where, int64_t usage, int64_t capacity);
// The usage of `laterHour` against that of `earlierHour`, the nearest
// earlier hour of the same table with an actual: demand may move by the
// hourly limit for each hour between them, a gap of missed hours included.
std::string HourBeyondEarlierHour(int earlierHour, int64_t earlierUsage, int laterHour, int64_t laterUsage);
// `earlier` is the reading held before `later`, each with its moment
// (seconds since 1970). Only readings at most an hour apart are compared:
// demand moves further over several hours, and a gap says nothing.
std::string ChangeBeyondLimit(const Reading& earlier, int64_t earlierTime, const Reading& later, int64_t laterTime);

// usage / capacity * 100, truncated, in 64 bits so that no figure wraps.
int64_t UsagePercentOf(int64_t usage, int64_t capacity);

}  // namespace gw::bridge
