// The two graphs the bridge serves, drawn from a reading and its day. The
// drawing sits behind this seam so that another platform can draw with its
// own library; natively it is libgd with FreeType, on Windows GDI+ and WIC.
#pragma once

#include <memory>
#include <string>

#include "bridge/reading/figures.h"

namespace gw::bridge {

class ChartDrawer {
 public:
  virtual ~ChartDrawer() = default;
  // Both titles name the area, by its 表示名 in UTF-8 (e.g. "関西").
  // The meter: the reading's usage percentage as a gauge, with the number
  // and the reading's time. Returns the GIF file's bytes.
  virtual std::string DrawMeter(const Reading& reading, const std::string& area) = 0;
  // Today's graph: hourly actuals as bars coloured by usage band, the
  // forecast and the supply capacity as lines, on a demand axis scaled to
  // the area's figures. Returns GIF bytes.
  virtual std::string DrawDay(const Reading& reading, const DayFigures& day, const std::string& area) = 0;
};

// The drawer on the platform's canvas, using the font given: a Japanese
// TrueType or OpenType file (on Windows also an installed family's name), or
// empty for the platform's default.
// Throws std::runtime_error naming the cause when the font cannot be used.
std::unique_ptr<ChartDrawer> MakeChartDrawer(const std::string& font);

}  // namespace gw::bridge
