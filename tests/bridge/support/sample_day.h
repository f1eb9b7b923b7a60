// One afternoon on the grid, written out by hand, for tests that need a
// reading and its day without going through an operator file.
#pragma once

#include "bridge/reading/figures.h"

namespace gwtest {

// A winter weekday in Tokyo at 14:55: actuals up to 14時, and hours chosen
// to fall in each band (by their own capacity or the day's peak).
gw::bridge::DayFigures AfternoonDay();

// The day's reading: 14時, 3869 of 4740 万kW, 81 %.
gw::bridge::Reading AfternoonReading();

}  // namespace gwtest
