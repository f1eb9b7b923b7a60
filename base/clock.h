// The local date and time, through one seam so tests can set the clock.
#pragma once

#include <functional>

namespace gw {

struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
};

LocalTime LocalNow();

// Replaces the clock until called again with an empty function.
void SetClockForTesting(std::function<LocalTime()> clock);

}  // namespace gw
