// Bounds that no real grid's figures pass. A figure beyond them is a misread
// column, a wrong unit (kW for 万kW), an edited or broken file: serving it
// would show every plug-in a number no grid can have, so the file is
// refused with the limit's reason and the held reading stays.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/reading/figures.h"

namespace gw::bridge {

struct FigureLimit {
  int64_t bound;
  const char* what;    // what is bounded, as a log line names it
  const char* reason;  // why no real grid goes beyond it
};

enum class Limit { kFigure, kUsageOfCapacity, kHourlyChange };

// The one table of limits, indexed by Limit.
extern const FigureLimit kFigureLimits[3];

// Each returns an empty string when the figures are within the limit, or a
// one-line reason naming the figures, the bound and why it holds.
std::string FigureBeyondLimit(const std::string& where, int64_t figure);
std::string UsageBeyondCapacity(const std::string& where, int64_t usage, int64_t capacity);
// `earlier` is the reading held before `later`, each with its moment
// (seconds since 1970). Only readings at most an hour apart are compared:
// demand moves further over several hours, and a gap says nothing.
std::string ChangeBeyondLimit(const Reading& earlier, int64_t earlierTime, const Reading& later, int64_t laterTime);

// usage / capacity * 100, truncated, in 64 bits so that no figure wraps.
int64_t UsagePercentOf(int64_t usage, int64_t capacity);

}  // namespace gw::bridge
