#include "bridge/reading/figure_limits.h"

#include <cstdio>
#include <cstdlib>

namespace gw::bridge {

const FigureLimit kFigureLimits[3] = {
    {10000, "a figure in 万kW",
     "no area's demand or supply reaches 10,000 万kW: Tokyo, the largest, peaks near 6,000"},
    {150, "usage in percent of the supply capacity",
     "demand half as much again as the supply ready for it would have blacked the grid out"},
    {50, "the change of usage within an hour, in percent of the held reading",
     "no grid's demand moves by half within an hour; a misread column or a wrong unit does"},
};

namespace {

const FigureLimit& Of(Limit limit) { return kFigureLimits[static_cast<int>(limit)]; }

std::string Beyond(const std::string& figures, Limit limit) {
  const FigureLimit& l = Of(limit);
  return figures + " is beyond " + std::to_string(l.bound) + " (" + l.what + "): " + l.reason;
}

}  // namespace

int64_t UsagePercentOf(int64_t usage, int64_t capacity) { return capacity > 0 ? usage * 100 / capacity : 0; }

std::string FigureBeyondLimit(const std::string& where, int64_t figure) {
  if (figure <= Of(Limit::kFigure).bound) return {};
  return Beyond(where + ": " + std::to_string(figure) + " 万kW", Limit::kFigure);
}

std::string UsageBeyondCapacity(const std::string& where, int64_t usage, int64_t capacity) {
  if (capacity <= 0 || usage * 100 <= Of(Limit::kUsageOfCapacity).bound * capacity) return {};
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f", static_cast<double>(usage) * 100.0 / static_cast<double>(capacity));
  return Beyond(where + ": " + std::to_string(usage) + " of " + std::to_string(capacity) + " 万kW (" + percent + " %)",
                Limit::kUsageOfCapacity);
}

std::string ChangeBeyondLimit(const Reading& earlier, int64_t earlierTime, const Reading& later, int64_t laterTime) {
  const int64_t apart = laterTime - earlierTime;
  if (apart < 0 || apart > 3600 || earlier.usage <= 0) return {};
  const int64_t change = std::llabs(int64_t{later.usage} - earlier.usage);
  if (change * 100 <= Of(Limit::kHourlyChange).bound * int64_t{earlier.usage}) return {};
  return Beyond("usage " + std::to_string(later.usage) + " 万kW after " + std::to_string(earlier.usage) +
                    " 万kW held (" + std::to_string(change * 100 / earlier.usage) + " %)",
                Limit::kHourlyChange);
}

}  // namespace gw::bridge
