// The two graphs: their layout, colours and text, drawn on the platform's
// canvas.
#include <algorithm>
#include <cmath>
#include <utility>

#include "bridge/charts/canvas.h"
#include "bridge/charts/chart.h"
#include "bridge/charts/chart_layout.h"

namespace gw::bridge {
namespace {

// The house colours: dark ink for figures, a muted ink for labels, light
// greys for frames and gridlines, on white, as a mail client shows it.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kInk = 0x1F2D3D;
constexpr uint32_t kMuted = 0x5B6B7B;
constexpr uint32_t kFrame = 0xC8D1DB;
constexpr uint32_t kTint = 0xF1F4F8;
constexpr uint32_t kNow = 0xE6ECF3;
constexpr uint32_t kTrack = 0xE4E8EE;
constexpr uint32_t kGrid = 0xE1E6EC;
constexpr uint32_t kForecast = kForecastColour;
constexpr uint32_t kCapacity = kCapacityColour;
constexpr uint32_t kUnbanded = 0x9AA5B1;

// "関西エリア": the area as the operators title their own graphs.
std::string AreaTitle(const std::string& area) { return area + "エリア"; }

std::vector<uint32_t> KeyColours() {
  std::vector<uint32_t> keys = {kWhite, kInk, kMuted, kFrame, kTint, kNow, kTrack, kGrid, kForecast,
                                kCapacity, kUnbanded};
  for (int b = 0; b < kUsageBandCount; ++b) keys.push_back(BandColour(static_cast<UsageBand>(b)));
  return keys;
}

// Yellow is too light for white text on it; the others are dark enough.
uint32_t TextOn(UsageBand band) { return band == UsageBand::kSomewhatTight ? kInk : kWhite; }

void DrawFrame(Canvas& canvas, double headerHeight) {
  canvas.FillRect(0, 0, canvas.Width(), canvas.Height(), kFrame);
  canvas.FillRect(1, 1, canvas.Width() - 1, canvas.Height() - 1, kWhite);
  if (headerHeight > 0) {
    canvas.FillRect(1, 1, canvas.Width() - 1, headerHeight, kTint);
    canvas.FillRect(1, headerHeight, canvas.Width() - 1, headerHeight + 1, kFrame);
  }
}

// ---- The meter -------------------------------------------------------------

constexpr int kMeterWidth = MeterDial::kWidth;
constexpr int kMeterHeight = MeterDial::kHeight;
constexpr double kPi = 3.14159265358979323846;

void DrawDial(Canvas& canvas, const Reading& reading, UsageBand band) {
  const MeterDial dial;
  const double cx = dial.cx, cy = dial.cy, inner = dial.inner, outer = dial.outer;
  canvas.FillRing(cx, cy, inner, outer, 0, 180, kTrack);
  canvas.FillRing(cx, cy, inner, outer, MeterDial::Degrees(reading.percent), 180, BandColour(band));
  // The bands themselves, as a thin scale outside the dial.
  for (int b = 0; b < kUsageBandCount; ++b) {
    const auto each = static_cast<UsageBand>(b);
    const int top = b + 1 < kUsageBandCount ? BandFloor(static_cast<UsageBand>(b + 1)) : 100;
    canvas.FillRing(cx, cy, outer + 4, outer + 10, MeterDial::Degrees(top), MeterDial::Degrees(BandFloor(each)),
                    BandColour(each));
  }
  const double needle = MeterDial::Degrees(reading.percent) * kPi / 180.0;
  canvas.Polyline({{cx + (inner - 6) * std::cos(needle), cy - (inner - 6) * std::sin(needle)},
                   {cx + (outer + 12) * std::cos(needle), cy - (outer + 12) * std::sin(needle)}},
                  3, kInk);
  const double mid = (inner + outer) / 2;
  canvas.Text(cx - mid, cy + 20, "0", 12, kMuted, Align::kCentre);
  canvas.Text(cx + mid, cy + 20, "100", 12, kMuted, Align::kCentre);
}

// The number, centred in the dial: large figures, a smaller percent sign.
void DrawDialNumber(Canvas& canvas, uint32_t percent) {
  const MeterDial dial;
  const std::string number = std::to_string(percent);
  const double numberWidth = canvas.TextWidth(number, 56);
  const double signWidth = canvas.TextWidth("%", 26);
  const double left = dial.cx - (numberWidth + signWidth + 2) / 2;
  canvas.Text(left, dial.cy - 6, number, 56, kInk);
  canvas.Text(left + numberWidth + 2, dial.cy - 6, "%", 26, kInk);
}

void DrawMeterFacts(Canvas& canvas, const Reading& reading, UsageBand band) {
  const double left = 300, right = kMeterWidth - 20;
  canvas.Text(left, 78, "需給状況", 12, kMuted);
  const double pillWidth = canvas.TextWidth(BandName(band), 17) + 32;
  canvas.FillRoundedRect(left, 88, left + pillWidth, 120, 16, BandColour(band));
  canvas.Text(left + pillWidth / 2, 110, BandName(band), 17, TextOn(band), Align::kCentre);
  canvas.Text(left, 152, JapaneseDate(reading.year, reading.month, reading.day), 15, kInk);
  const std::string from = std::to_string(reading.hour) + ":00";
  const std::string to = std::to_string(reading.hour + 1) + ":00";
  canvas.Text(left, 173, from + "〜" + to + " の実績", 13, kMuted);
  canvas.FillRect(left, 186, right, 187, kGrid);
  canvas.Text(left, 208, "使用量", 13, kMuted);
  canvas.Text(right, 208, std::to_string(reading.usage) + "万kW", 14, kInk, Align::kRight);
  canvas.Text(left, 231, "供給力", 13, kMuted);
  canvas.Text(right, 231, std::to_string(reading.capacity) + "万kW", 14, kInk, Align::kRight);
}

// ---- The day graph -----------------------------------------------------------

constexpr int kDayWidth = DayPlot::kWidth;
constexpr int kDayHeight = DayPlot::kHeight;

// The hour of the reading, when it is one of this day's: its column is
// shaded and its hour named under the axis. -1 otherwise.
int NowHour(const Reading& reading, const DayFigures& day) {
  const bool sameDay = reading.year == day.year && reading.month == day.month && reading.day == day.day;
  return sameDay && reading.hour >= 0 && reading.hour < 24 ? reading.hour : -1;
}

void DrawAxes(Canvas& canvas, const DayPlot& plot, int now) {
  if (now >= 0) {
    canvas.FillRect(std::round(plot.SlotLeft(now)), plot.top, std::round(plot.SlotLeft(now + 1)),
                    plot.bottom, kNow);
  }
  canvas.Text(plot.left - 8, plot.top - 12, "万kW", 11, kMuted, Align::kRight);
  for (int32_t v = 0; v <= plot.scale.top; v += plot.scale.step) {
    const double y = std::round(plot.Y(v));
    canvas.FillRect(plot.left, y, plot.right, y + 1, v == 0 ? kFrame : kGrid);
    canvas.Text(plot.left - 8, y + 4, std::to_string(v), 11, kMuted, Align::kRight);
  }
  // Every third hour is named; the reading's hour is named in ink instead
  // of any neighbour whose name would run into it.
  for (int hour = 0; hour < 24; ++hour) {
    const bool named = hour == now || (hour % 3 == 0 && (now < 0 || std::abs(hour - now) > 1));
    if (!named) continue;
    canvas.Text(plot.SlotCentre(hour), plot.bottom + 17, std::to_string(hour) + "時", 11,
                hour == now ? kInk : kMuted, Align::kCentre);
  }
}

void DrawBars(Canvas& canvas, const DayPlot& plot, const DayFigures& day) {
  const double inset = plot.Slot() * 0.17;
  for (int hour = 0; hour < 24; ++hour) {
    const HourBar bar = BarForHour(day, hour);
    if (!bar.drawn) continue;
    const double x = plot.SlotLeft(hour);
    canvas.FillRect(std::round(x + inset), std::round(plot.Y(day.hours[hour].actual)),
                    std::round(x + plot.Slot() - inset), plot.bottom,
                    bar.banded ? BandColour(bar.band) : kUnbanded);
  }
}

// The forecast joins the middles of the hours it covers; where the file has
// no forecast for an hour the line breaks rather than dropping to zero.
void DrawForecast(Canvas& canvas, const DayPlot& plot, const DayFigures& day) {
  std::vector<Point> run;
  auto flush = [&] {
    canvas.Polyline(run, 2.2, kForecast);
    for (const Point& p : run) canvas.FillCircle(p.x, p.y, 2.6, kForecast);
    run.clear();
  };
  for (int hour = 0; hour < 24; ++hour) {
    const int32_t forecast = day.hours[hour].forecast;
    if (forecast > 0) run.push_back({plot.SlotCentre(hour), plot.Y(forecast)});
    else flush();
  }
  flush();
}

// The supply capacity holds for a whole hour, so it is drawn as steps.
void DrawCapacity(Canvas& canvas, const DayPlot& plot, const DayFigures& day) {
  std::vector<Point> run;
  for (int hour = 0; hour < 24; ++hour) {
    const int32_t capacity = HourCapacity(day, hour);
    if (capacity <= 0) {
      canvas.Polyline(run, 2.2, kCapacity);
      run.clear();
      continue;
    }
    const double y = plot.Y(capacity);
    run.push_back({plot.SlotLeft(hour), y});
    run.push_back({plot.SlotLeft(hour) + plot.Slot(), y});
  }
  canvas.Polyline(run, 2.2, kCapacity);
}

// The bands with their ranges, centred under the graph.
void DrawBandLegend(Canvas& canvas, double baseline) {
  const double px = 11, swatch = 11, gap = 16;
  std::vector<std::string> labels;
  double total = -gap;
  for (int b = 0; b < kUsageBandCount; ++b) {
    const auto band = static_cast<UsageBand>(b);
    labels.push_back(std::string(BandName(band)) + " " + BandRange(band));
    total += swatch + 5 + canvas.TextWidth(labels.back(), px) + gap;
  }
  double x = (kDayWidth - total) / 2;
  for (int b = 0; b < kUsageBandCount; ++b) {
    canvas.FillRect(x, baseline - 10, x + swatch, baseline + 1, BandColour(static_cast<UsageBand>(b)));
    canvas.Text(x + swatch + 5, baseline, labels[b], px, kInk);
    x += swatch + 5 + canvas.TextWidth(labels[b], px) + gap;
  }
}

// The two lines, named above the graph's top right corner.
void DrawLineLegend(Canvas& canvas, const DayPlot& plot, double baseline) {
  const double px = 11, mark = 18;
  double right = plot.right;
  for (const auto& [label, colour] : {std::pair{"供給力", kCapacity}, std::pair{"予測値", kForecast}}) {
    const double width = canvas.TextWidth(label, px);
    canvas.Text(right, baseline, label, px, kInk, Align::kRight);
    const double lineRight = right - width - 5;
    canvas.Polyline({{lineRight - mark, baseline - 4}, {lineRight, baseline - 4}}, 2.2, colour);
    right = lineRight - mark - 16;
  }
}

std::string MeterGif(const ChartFont& font, const Reading& reading, const std::string& area) {
  const std::unique_ptr<Canvas> drawn = font.NewCanvas(kMeterWidth, kMeterHeight, kWhite);
  Canvas& canvas = *drawn;
  DrawFrame(canvas, 42);
  canvas.Text(18, 28, "でんき予報 " + AreaTitle(area) + " 使用率", 16, kInk);
  const std::string clock = StampClock(reading.updated);
  if (!clock.empty()) canvas.Text(kMeterWidth - 18, 28, clock + " 更新", 12, kMuted, Align::kRight);
  const UsageBand band = BandForPercent(reading.percent);
  DrawDial(canvas, reading, band);
  DrawDialNumber(canvas, reading.percent);
  DrawMeterFacts(canvas, reading, band);
  return canvas.EncodeGif(KeyColours());
}

// The title names the day of the figures, and the update their stamp; the
// reading's own serve where the day lacks them.
void DrawDayTitle(Canvas& canvas, const Reading& reading, const DayFigures& day, const std::string& area) {
  const std::string title = AreaTitle(area) + " 今日の電力需要";
  canvas.Text(18, 28, title, 16, kInk);
  const std::string date = day.year > 0 ? JapaneseDate(day.year, day.month, day.day)
                                        : JapaneseDate(reading.year, reading.month, reading.day);
  canvas.Text(18 + canvas.TextWidth(title, 16) + 12, 28, date, 13, kMuted);
  const std::string clock = StampClock(day.updated.empty() ? reading.updated : day.updated);
  if (!clock.empty()) canvas.Text(kDayWidth - 18, 28, clock + " 更新", 12, kMuted, Align::kRight);
}

std::string DayGif(const ChartFont& font, const Reading& reading, const DayFigures& day, const std::string& area) {
  const std::unique_ptr<Canvas> drawn = font.NewCanvas(kDayWidth, kDayHeight, kWhite);
  Canvas& canvas = *drawn;
  DrawFrame(canvas, 42);
  DrawDayTitle(canvas, reading, day, area);
  DayPlot plot;
  plot.scale = ScaleFor(HighestFigure(day));
  DrawAxes(canvas, plot, NowHour(reading, day));
  DrawBars(canvas, plot, day);
  DrawCapacity(canvas, plot, day);
  DrawForecast(canvas, plot, day);
  DrawLineLegend(canvas, plot, plot.top - 12);
  DrawBandLegend(canvas, kDayHeight - 18);
  return canvas.EncodeGif(KeyColours());
}

class PortableChartDrawer final : public ChartDrawer {
 public:
  explicit PortableChartDrawer(std::unique_ptr<ChartFont> font) : font_(std::move(font)) {}

  std::string DrawMeter(const Reading& reading, const std::string& area) override {
    return MeterGif(*font_, reading, area);
  }
  std::string DrawDay(const Reading& reading, const DayFigures& day, const std::string& area) override {
    return DayGif(*font_, reading, day, area);
  }

 private:
  std::unique_ptr<ChartFont> font_;
};

}  // namespace

std::unique_ptr<ChartDrawer> MakeChartDrawer(const std::string& font) {
  return std::make_unique<PortableChartDrawer>(OpenChartFont(font));
}

}  // namespace gw::bridge
