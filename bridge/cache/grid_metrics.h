// The grid's own figures in /metrics, in Prometheus's conventions: base
// units (watts, seconds, a ratio from 0 to 1), the area as a label. Only an
// area holding a fresh reading has them: once its reading has passed
// --max-age, its series go missing rather than show a stale number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/cache/metrics.h"

namespace gw::bridge {

// The operator's figures are in 万kW: ten thousand kW, 10^7 W.
constexpr int64_t kWattsPerManKw = 10000000;

// The reading's demand, supply and usage ratio and its hour's start, and
// today's and tomorrow's forecast tightest hour (usage ratio and the hour's
// start, labelled day="today" or "tomorrow") as they stand at `now`.
std::string RenderGridFigures(const std::vector<AreaReading>& areas, int64_t now);

}  // namespace gw::bridge
