// Bounds that no real grid's figures pass. A figure beyond them is a misread
// column, a wrong unit (kW for 万kW), an edited or broken file: serving it
// would show every plug-in a number no grid can have, so the file is
// refused with the limit's reason and the held reading stays. Each figure is
// held against its own area's size and its own hour's supply, never against
// other hours: demand falls to nothing in a blackout and comes back fast in
// a restoration, and neither is a wrong file.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/reading/areas.h"

namespace gw::bridge {

// The most usage an hour may show, in percent of its supply.
constexpr int64_t kMostUsagePercent = 120;

// Each returns an empty string when the figures are within the limit, or a
// one-line reason naming the rule, the figures, the bound and why it holds.
// `where` names the place, e.g. "14時" or "line 3, column ピーク時供給力".
std::string FigureOutsideArea(const std::string& where, int64_t figure, const Area& area);
// A capacity of 0 or less is none given, and bounds nothing.
std::string UsageBeyondCapacity(const std::string& where, int64_t usage, int64_t capacity);

// usage / capacity * 100, truncated, in 64 bits so that no figure wraps.
int64_t UsagePercentOf(int64_t usage, int64_t capacity);

}  // namespace gw::bridge
