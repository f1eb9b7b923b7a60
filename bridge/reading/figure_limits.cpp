#include "bridge/reading/figure_limits.h"

#include <cstdio>
#include <cstdlib>

namespace gw::bridge {

const FigureLimit kFigureLimits[2] = {
    // On the days of a supply emergency an operator may publish demand above
    // the supply it had planned (Tokyo on 2022-03-22 showed more than 100 %):
    // that is the very moment to be served. A fifth above it and more, the
    // grid would have been cut off long before; a whole day there is a file
    // whose supply or usage is wrong.
    {120, "usage in percent of the hour's supply",
     "demand may pass the planned supply in an emergency, but a grid a fifth over its supply would be blacked "
     "out, so the figures are wrong"},
    {50, "the change of usage within an hour, in percent of the earlier figure",
     "no grid's demand moves by half within an hour; a misread column or a wrong unit does"},
};

namespace {

const FigureLimit& Of(Limit limit) { return kFigureLimits[static_cast<int>(limit)]; }

std::string Beyond(const std::string& figures, Limit limit) {
  const FigureLimit& l = Of(limit);
  return figures + " is beyond " + std::to_string(l.bound) + " % (" + l.what + "): " + l.reason;
}

std::string Percent(int64_t part, int64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", static_cast<double>(part) * 100.0 / static_cast<double>(whole));
  return text;
}

}  // namespace

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

std::string UsageBeyondCapacity(const std::string& where, int64_t usage, int64_t capacity) {
  if (capacity <= 0 || usage * 100 <= Of(Limit::kUsageOfCapacity).bound * capacity) return {};
  return Beyond(where + ": usage " + std::to_string(usage) + " of a supply of " + std::to_string(capacity) +
                    " 万kW (" + Percent(usage, capacity) + ")",
                Limit::kUsageOfCapacity);
}

std::string HourBeyondEarlierHour(int earlierHour, int64_t earlierUsage, int laterHour, int64_t laterUsage) {
  const int64_t hours = laterHour - earlierHour;
  if (hours <= 0 || earlierUsage <= 0) return {};
  const int64_t change = std::llabs(laterUsage - earlierUsage);
  if (change * 100 <= Of(Limit::kHourlyChange).bound * hours * earlierUsage) return {};
  const std::string rate = hours > 1 ? " in " + std::to_string(hours) + " hours, " +
                                           Percent(change, earlierUsage * hours) + " an hour"
                                     : " in an hour";
  return Beyond(std::to_string(laterHour) + "時: usage " + std::to_string(laterUsage) + " 万kW after " +
                    std::to_string(earlierUsage) + " 万kW at " + std::to_string(earlierHour) + "時 (a change of " +
                    Percent(change, earlierUsage) + rate + ")",
                Limit::kHourlyChange);
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
