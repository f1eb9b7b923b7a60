#include "bridge/reading/figure_limits.h"

#include <cstdio>

namespace gw::bridge {

int64_t UsagePercentOf(int64_t usage, int64_t capacity) { return capacity > 0 ? usage * 100 / capacity : 0; }

std::string FigureOutsideArea(const std::string& where, int64_t figure, const Area& area) {
  const int64_t floor = AreaFloor(area), ceiling = AreaCeiling(area);
  if (figure >= floor && figure <= ceiling) return {};
  const bool above = figure > ceiling;
  return where + ": " + std::to_string(figure) + " 万kW is " + (above ? "above " : "below ") + area.name +
         "'s bound of " + std::to_string(above ? ceiling : floor) + " 万kW (" +
         (above ? "half as much again as" : "a tenth of") + " its record peak, " + area.size.basis +
         "): a wrong unit, a misread column or an edited file, not the grid";
}

// On the days of a supply emergency an operator may publish demand above
// the supply it had planned (Tokyo on 2022-03-22 showed more than 100 %):
// that is the very moment to be served. A fifth above it and more, the grid
// would have been cut off long before.
std::string UsageBeyondCapacity(const std::string& where, int64_t usage, int64_t capacity) {
  if (capacity <= 0 || usage * 100 <= kMostUsagePercent * capacity) return {};
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f %%", static_cast<double>(usage) * 100.0 / static_cast<double>(capacity));
  return where + ": usage " + std::to_string(usage) + " of a supply of " + std::to_string(capacity) + " 万kW (" +
         percent + ") is beyond " + std::to_string(kMostUsagePercent) +
         " % (usage in percent of the hour's supply): demand may pass the planned supply in an emergency, but a "
         "grid a fifth over its supply would be blacked out, so the figures are wrong";
}

}  // namespace gw::bridge
