#include <ctime>

#include "base/clock.h"

namespace gw {

LocalTime SystemLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min};
}

}  // namespace gw
