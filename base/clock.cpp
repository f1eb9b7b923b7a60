#include "base/clock.h"

namespace gw {

LocalTime SystemLocalTime();

namespace {
std::function<LocalTime()>& TestClock() {
  static std::function<LocalTime()> clock;
  return clock;
}
}  // namespace

LocalTime LocalNow() { return TestClock() ? TestClock()() : SystemLocalTime(); }

void SetClockForTesting(std::function<LocalTime()> clock) { TestClock() = std::move(clock); }

}  // namespace gw
