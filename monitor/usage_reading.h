// The values of one usage feed document, plus the percentage they give.
#pragma once

#include <cstdint>

namespace gw {

struct UsageReading {
  int32_t usage = 0;     // current demand, in units of 10,000 kW
  int32_t capacity = 0;  // available supply, same unit
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  uint32_t percent = 0;  // usage as a whole percentage of capacity
};

}  // namespace gw
