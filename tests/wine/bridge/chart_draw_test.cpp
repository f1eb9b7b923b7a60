// Draws the bridge's two graphs from the sample afternoon with the font
// named, as the bridge does, and writes them beside a list of what a reader
// of the images must find in them: the shared layout says where each band
// colour and line lies and where text is written. The checks themselves are
// made outside, on the decoded files (tests/wine/bridge/check_charts.sh), so
// that the GIFs are judged by a decoder other than the one that wrote them.
//
//   chart_draw_test [--font FONT] [--repeat N] OUTDIR
//
// As in the bridge, the font is opened on the main thread and the graphs are
// drawn on another; --repeat draws them N times over (to watch the process's
// memory for leaks).
// Writes OUTDIR/meter.gif, OUTDIR/day.gif and OUTDIR/probes.txt, whose lines
// are "FILE pixel X Y RRGGBB" (that pixel has exactly that colour) or
// "FILE text X Y W H RRGGBB" (the box holds text in that colour, smoothed).
// A font that cannot be used: its cause on standard error and exit 1.
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "bridge/charts/chart.h"
#include "bridge/charts/chart_layout.h"
#include "support/sample_day.h"

namespace {

using gw::bridge::BandColour;
using gw::bridge::DayPlot;
using gw::bridge::MeterDial;

constexpr uint32_t kInk = 0x1F2D3D;  // the graphs' colour for titles and figures

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string Hex(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
  return text;
}

std::string Pixel(const char* file, double x, double y, uint32_t rgb) {
  return std::string(file) + " pixel " + std::to_string(static_cast<int>(x)) + " " +
         std::to_string(static_cast<int>(y)) + " " + Hex(rgb) + "\n";
}

// The bars of hours with figures, in their bands' colours, and both lines
// over an hour still to come; the same points as the native chart tests.
std::string DayProbes(const gw::bridge::DayFigures& day) {
  DayPlot plot;
  plot.scale = gw::bridge::ScaleFor(gw::bridge::HighestFigure(day));
  std::string probes;
  for (int hour : {3, 9, 10, 11, 12}) {
    const gw::bridge::HourBar bar = gw::bridge::BarForHour(day, hour);
    probes += Pixel("day.gif", plot.SlotCentre(hour), plot.bottom - 6, BandColour(bar.band));
  }
  probes += Pixel("day.gif", plot.SlotCentre(20), plot.Y(day.hours[20].forecast), gw::bridge::kForecastColour);
  probes += Pixel("day.gif", plot.SlotCentre(20), plot.Y(gw::bridge::HourCapacity(day, 20)),
                  gw::bridge::kCapacityColour);
  // The title, "東京エリア 今日の電力需要", at the top left.
  probes += "day.gif text 18 12 150 20 " + Hex(kInk) + "\n";
  return probes;
}

// The dial filled in the reading's band up to its percentage.
std::string MeterProbes(const gw::bridge::Reading& reading) {
  const MeterDial dial;
  const double middle = (dial.inner + dial.outer) / 2;
  const uint32_t band = BandColour(gw::bridge::BandForPercent(reading.percent));
  std::string probes;
  for (double percent : {10.0, 50.0, 75.0}) {
    const double radians = MeterDial::Degrees(percent) * 3.14159265358979 / 180;
    probes += Pixel("meter.gif", dial.cx + middle * std::cos(radians), dial.cy - middle * std::sin(radians), band);
  }
  // The title, "でんき予報 東京エリア 使用率", at the top left.
  probes += "meter.gif text 18 12 150 20 " + Hex(kInk) + "\n";
  return probes;
}

}  // namespace

// Draws both graphs `repeat` times on a thread of their own and writes the
// last ones. Returns the failure's cause, or empty.
std::string DrawOnAnotherThread(gw::bridge::ChartDrawer& drawer, const std::string& outDir, int repeat) {
  std::string failure;
  std::thread poller([&] {
    try {
      const gw::bridge::Reading reading = gwtest::AfternoonReading();
      const gw::bridge::DayFigures day = gwtest::AfternoonDay();
      std::string meter, graph;
      for (int i = 0; i < repeat; ++i) {
        meter = drawer.DrawMeter(reading, "東京");
        graph = drawer.DrawDay(reading, day, "東京");
      }
      Write(outDir + "/meter.gif", meter);
      Write(outDir + "/day.gif", graph);
      Write(outDir + "/probes.txt", MeterProbes(reading) + DayProbes(day));
    } catch (const std::exception& e) {
      failure = e.what();
    }
  });
  poller.join();
  return failure;
}

int main(int argc, char** argv) {
  std::string font, outDir;
  int repeat = 1;
  bool understood = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--font" && i + 1 < argc) font = argv[++i];
    else if (arg == "--repeat" && i + 1 < argc) understood = (repeat = std::atoi(argv[++i])) > 0;
    else if (outDir.empty() && arg.rfind("--", 0) != 0) outDir = arg;
    else understood = false;
  }
  if (!understood || outDir.empty()) {
    std::cerr << "usage: chart_draw_test [--font FONT] [--repeat N] OUTDIR\n";
    return 2;
  }
  std::string failure;
  try {
    const std::unique_ptr<gw::bridge::ChartDrawer> drawer = gw::bridge::MakeChartDrawer(font);
    failure = DrawOnAnotherThread(*drawer, outDir, repeat);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (failure.empty()) return 0;
  std::cerr << failure << "\n";
  return 1;
}
