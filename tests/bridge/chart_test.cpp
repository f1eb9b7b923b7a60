#include "bridge/charts/chart.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bridge/charts/canvas.h"
#include "bridge/charts/chart_layout.h"
#include "support/sample_day.h"

namespace gw::bridge {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// A decoded GIF, read pixel by pixel as 0xRRGGBB.
class Decoded {
 public:
  explicit Decoded(const std::string& gif)
      : image_(gdImageCreateFromGifPtr(static_cast<int>(gif.size()), const_cast<char*>(gif.data())),
               gdImageDestroy) {}
  bool Valid() const { return image_ != nullptr; }
  int Width() const { return gdImageSX(image_.get()); }
  int Height() const { return gdImageSY(image_.get()); }
  uint32_t At(double x, double y) const {
    const int c = gdImageGetPixel(image_.get(), static_cast<int>(x), static_cast<int>(y));
    return static_cast<uint32_t>(gdImageRed(image_.get(), c) << 16 | gdImageGreen(image_.get(), c) << 8 |
                                 gdImageBlue(image_.get(), c));
  }

 private:
  std::unique_ptr<gdImage, void (*)(gdImagePtr)> image_;
};

class Chart : public ::testing::Test {
 protected:
  std::unique_ptr<ChartDrawer> drawer_ = MakeChartDrawer(GW_TEST_JAPANESE_FONT);
  DayFigures day_ = gwtest::AfternoonDay();
  Reading reading_ = gwtest::AfternoonReading();

  DayPlot PlotOf(const DayFigures& day) const {
    DayPlot plot;
    plot.scale = ScaleFor(HighestFigure(day));
    return plot;
  }
  // A point well inside an hour's bar, just above the axis.
  uint32_t BarColourAt(const Decoded& gif, const DayFigures& day, int hour) const {
    const DayPlot plot = PlotOf(day);
    return gif.At(plot.SlotCentre(hour), plot.bottom - 6);
  }
};

TEST_F(Chart, BothGraphsAreGifsOfTheirSize) {
  const std::string meter = drawer_->DrawMeter(reading_, "東京");
  const std::string graph = drawer_->DrawDay(reading_, day_, "東京");
  for (const std::string* gif : {&meter, &graph}) {
    ASSERT_EQ(gif->substr(0, 4), "GIF8");
    // Small enough to travel in every notification mail.
    EXPECT_LT(gif->size(), 40u * 1024);
  }
  const Decoded m(meter), g(graph);
  ASSERT_TRUE(m.Valid() && g.Valid());
  EXPECT_EQ(m.Width(), MeterDial::kWidth);
  EXPECT_EQ(m.Height(), MeterDial::kHeight);
  EXPECT_EQ(g.Width(), DayPlot::kWidth);
  EXPECT_EQ(g.Height(), DayPlot::kHeight);
}

// The cache and the end-to-end comparison rely on the same bytes for the
// same figures, from the same drawer or a fresh one.
TEST_F(Chart, SameFiguresGiveTheSameBytes) {
  const auto other = MakeChartDrawer(GW_TEST_JAPANESE_FONT);
  EXPECT_EQ(drawer_->DrawMeter(reading_, "東京"), other->DrawMeter(reading_, "東京"));
  EXPECT_EQ(drawer_->DrawDay(reading_, day_, "東京"), drawer_->DrawDay(reading_, day_, "東京"));
  EXPECT_EQ(drawer_->DrawDay(reading_, day_, "東京"), other->DrawDay(reading_, day_, "東京"));
}

// Both titles name the area, so that an office serving two areas never
// mails one area's graphs as the other's.
TEST_F(Chart, TheTitlesNameTheArea) {
  EXPECT_NE(drawer_->DrawMeter(reading_, "東京"), drawer_->DrawMeter(reading_, "沖縄"));
  EXPECT_NE(drawer_->DrawDay(reading_, day_, "東京"), drawer_->DrawDay(reading_, day_, "沖縄"));
}

TEST_F(Chart, GraphsChangeWithTheReading) {
  const std::string meter = drawer_->DrawMeter(reading_, "東京");
  const std::string graph = drawer_->DrawDay(reading_, day_, "東京");
  Reading later = reading_;
  later.percent = 84;
  EXPECT_NE(drawer_->DrawMeter(later, "東京"), meter);
  later = reading_;
  later.hour = 15;
  EXPECT_NE(drawer_->DrawMeter(later, "東京"), meter);
  later = reading_;
  later.usage = 3870;
  EXPECT_NE(drawer_->DrawMeter(later, "東京"), meter);

  DayFigures next = day_;
  next.hours[15].actual = 3950;
  EXPECT_NE(drawer_->DrawDay(reading_, next, "東京"), graph);
  next = day_;
  next.hours[20].forecast = 4700;
  EXPECT_NE(drawer_->DrawDay(reading_, next, "東京"), graph);
  next = day_;
  next.updated = "2026-12-07T15:00:00+09:00";
  EXPECT_NE(drawer_->DrawDay(reading_, next, "東京"), graph);
}

TEST_F(Chart, BarsTakeTheColourOfTheirHoursBand) {
  const Decoded gif(drawer_->DrawDay(reading_, day_, "東京"));
  EXPECT_EQ(BarColourAt(gif, day_, 3), BandColour(UsageBand::kStable));
  EXPECT_EQ(BarColourAt(gif, day_, 9), BandColour(UsageBand::kSomewhatTight));
  EXPECT_EQ(BarColourAt(gif, day_, 10), BandColour(UsageBand::kTight));
  EXPECT_EQ(BarColourAt(gif, day_, 11), BandColour(UsageBand::kVeryTight));
  // No capacity of its own: banded by the day's peak, 90 % of it.
  EXPECT_EQ(BarColourAt(gif, day_, 12), BandColour(UsageBand::kStable));
}

TEST_F(Chart, BarsReachTheirFigure) {
  const Decoded gif(drawer_->DrawDay(reading_, day_, "東京"));
  const DayPlot plot = PlotOf(day_);
  const double x = plot.SlotCentre(11);
  const double top = plot.Y(day_.hours[11].actual);
  EXPECT_EQ(gif.At(x, top + 3), BandColour(UsageBand::kVeryTight));
  EXPECT_NE(gif.At(x, top - 4), BandColour(UsageBand::kVeryTight));
  // Between two bars there is a gap, so that hours read apart.
  EXPECT_EQ(gif.At(plot.SlotLeft(4), plot.bottom - 6), kWhite);
}

// The bars lie over the gridlines and the reading's shaded column, never
// under them: the reading's own hour shows its bar whole.
TEST_F(Chart, BarsLieOverTheAxesAndTheReadingsShading) {
  const Decoded gif(drawer_->DrawDay(reading_, day_, "東京"));
  const DayPlot plot = PlotOf(day_);
  ASSERT_EQ(reading_.hour, 14);
  for (int hour = 0; hour <= 14; ++hour) {
    const uint32_t bar = BarColourAt(gif, day_, hour);
    EXPECT_NE(bar, kWhite) << hour;
    // Every gridline the bar reaches past, crossed at the bar's middle.
    for (int32_t v = plot.scale.step; v + plot.scale.step / 4 < day_.hours[hour].actual; v += plot.scale.step) {
      EXPECT_EQ(gif.At(plot.SlotCentre(hour), std::round(plot.Y(v))), bar) << hour << "時 at " << v;
    }
  }
  EXPECT_EQ(BarColourAt(gif, day_, 14), BandColour(UsageBand::kStable)) << "the reading's own hour";
  // The shading itself shows above the reading's bar and nowhere else.
  const double above = plot.top + 10;  // over every line and gridline
  const uint32_t shade = gif.At(plot.SlotLeft(14) + 2, above);
  EXPECT_NE(shade, kWhite);
  EXPECT_EQ(gif.At(plot.SlotLeft(14) + 2, plot.bottom - 6), shade) << "beside the bar, to the axis";
  EXPECT_EQ(gif.At(plot.SlotLeft(13) + 2, above), kWhite);
}

TEST_F(Chart, HoursToComeHaveNoBarButTheirLines) {
  const Decoded gif(drawer_->DrawDay(reading_, day_, "東京"));
  const DayPlot plot = PlotOf(day_);
  for (int hour : {15, 20, 23}) {
    EXPECT_EQ(BarColourAt(gif, day_, hour), kWhite) << hour;
    EXPECT_EQ(gif.At(plot.SlotCentre(hour), plot.Y(day_.hours[hour].forecast)), kForecastColour) << hour;
    EXPECT_EQ(gif.At(plot.SlotCentre(hour), plot.Y(HourCapacity(day_, hour))), kCapacityColour) << hour;
  }
}

TEST_F(Chart, LinesFollowTheFileWhereItHasFiguresOnly) {
  DayFigures day = day_;
  day.hours[16].forecast = 0;  // a forecast the file does not give
  day.hours[17].forecast = 0;
  const Decoded gif(drawer_->DrawDay(reading_, day, "東京"));
  const DayPlot plot = PlotOf(day);
  // The forecast breaks there rather than dropping to the axis.
  for (int hour : {16, 17}) {
    for (double y = plot.top; y < plot.bottom; ++y) {
      ASSERT_NE(gif.At(plot.SlotCentre(hour), y), kForecastColour) << hour << " at " << y;
    }
  }
  EXPECT_EQ(gif.At(plot.SlotCentre(18), plot.Y(day.hours[18].forecast)), kForecastColour);
  // An hour without its own capacity shows the day's peak supply capacity.
  EXPECT_EQ(gif.At(plot.SlotCentre(12), plot.Y(day.peakCapacity)), kCapacityColour);
  EXPECT_EQ(gif.At(plot.SlotCentre(13), plot.Y(day.hours[13].capacity)), kCapacityColour);
}

TEST_F(Chart, MeterFillsTheDialInTheReadingsBand) {
  const MeterDial dial;
  const double middle = (dial.inner + dial.outer) / 2;
  auto dialAt = [&](const Decoded& gif, double percent) {
    const double radians = MeterDial::Degrees(percent) * 3.14159265358979 / 180;
    return gif.At(dial.cx + middle * std::cos(radians), dial.cy - middle * std::sin(radians));
  };
  const Decoded stable(drawer_->DrawMeter(reading_, "東京"));
  EXPECT_EQ(dialAt(stable, 10), BandColour(UsageBand::kStable));
  EXPECT_EQ(dialAt(stable, 75), BandColour(UsageBand::kStable));
  // Past the reading the dial is an empty track.
  EXPECT_NE(dialAt(stable, 88), BandColour(UsageBand::kStable));

  Reading tight = reading_;
  tight.usage = 4550;
  tight.percent = 95;
  const Decoded tightGif(drawer_->DrawMeter(tight, "東京"));
  EXPECT_EQ(dialAt(tightGif, 10), BandColour(UsageBand::kTight));
  EXPECT_EQ(dialAt(tightGif, 90), BandColour(UsageBand::kTight));

  // Demand over the supply fills the whole dial, and draws.
  Reading over = reading_;
  over.percent = 104;
  const Decoded overGif(drawer_->DrawMeter(over, "東京"));
  EXPECT_EQ(dialAt(overGif, 98), BandColour(UsageBand::kVeryTight));
}

TEST_F(Chart, ADayWithoutActualsOrCapacityStillDraws) {
  DayFigures midnight;
  midnight.year = 2026;
  midnight.month = 12;
  midnight.day = 8;
  for (int h = 0; h < 24; ++h) midnight.hours[h].forecast = 3000 + 30 * h;
  const Decoded gif(drawer_->DrawDay(Reading{}, midnight, "東京"));
  ASSERT_TRUE(gif.Valid());
  for (int hour = 0; hour < 24; ++hour) EXPECT_EQ(BarColourAt(gif, midnight, hour), kWhite) << hour;
}

// ---- The date in the graphs' text ---------------------------------------

// The ink of one colour in a box, as the columns of its first run of text
// (runs part at a gap of `gap` empty columns), each column a bit mask of
// its rows, from the run's first column. Compared with the same text drawn
// alone, this tells which text was drawn there.
std::vector<uint64_t> InkRun(const Decoded& gif, int x0, int y0, int x1, int y1, uint32_t ink, int gap = 12) {
  std::vector<uint64_t> run;
  int empty = 0;
  for (int x = x0; x < x1; ++x) {
    uint64_t column = 0;
    for (int y = y0; y < y1 && y - y0 < 64; ++y) column |= uint64_t{gif.At(x, y) == ink} << (y - y0);
    if (column == 0 && run.empty()) continue;
    empty = column == 0 ? empty + 1 : 0;
    if (empty >= gap) break;
    run.push_back(column);
  }
  while (!run.empty() && run.back() == 0) run.pop_back();
  return run;
}

// `text` drawn alone with the graphs' font on `background`, as its ink run.
std::vector<uint64_t> TextAlone(const std::string& text, double px, int baseline, uint32_t ink,
                                uint32_t background, int y0, int y1) {
  auto canvas = OpenChartFont(GW_TEST_JAPANESE_FONT)->NewCanvas(300, y1 + 10, background);
  canvas->Text(20, baseline, text, px, ink);
  const Decoded alone(canvas->EncodeGif({background, ink}));
  return InkRun(alone, 0, y0, 300, y1, ink);
}

// The muted ink of the graph's labels and the dark ink of its figures.
constexpr uint32_t kLabelInk = 0x5B6B7B;
constexpr uint32_t kFigureInk = 0x1F2D3D;

TEST_F(Chart, TheDayGraphsTitleNamesTheDayMonthFirst) {
  // 7 December and 12 July share every character: only their order differs.
  const Decoded gif(drawer_->DrawDay(reading_, day_, "東京"));
  const uint32_t header = gif.At(5, 5);
  // The title is in figure ink; the date follows it in label ink.
  const auto drawn = InkRun(gif, 100, 8, 400, 40, kLabelInk);
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn, TextAlone("2026年12月7日", 13, 28, kLabelInk, header, 8, 40));
  EXPECT_NE(drawn, TextAlone("2026年7月12日", 13, 28, kLabelInk, header, 8, 40));
}

TEST_F(Chart, TheMeterNamesTheReadingsDayMonthFirst) {
  const Decoded gif(drawer_->DrawMeter(reading_, "東京"));
  const auto drawn = InkRun(gif, 290, 132, 495, 160, kFigureInk);
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn, TextAlone("2026年12月7日", 15, 152, kFigureInk, kWhite, 132, 160));
  EXPECT_NE(drawn, TextAlone("2026年7月12日", 15, 152, kFigureInk, kWhite, 132, 160));
}

std::string ErrorOf(const std::string& fontFile) {
  try {
    MakeChartDrawer(fontFile);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(ChartFont, AFontThatCannotDrawJapaneseIsRefusedWithItsCause) {
  const std::string missing = "/nonexistent/gridwren/ipag.ttf";
  EXPECT_EQ(ErrorOf(missing), "font file " + missing + ": cannot open it: No such file or directory");

  const std::string garbage = ::testing::TempDir() + "gridwren_not_a_font.ttf";
  std::ofstream(garbage, std::ios::binary) << "this is not a TrueType font";
  const std::string garbageError = ErrorOf(garbage);
  EXPECT_EQ(garbageError.rfind("font file " + garbage + ": ", 0), 0u) << garbageError;
  std::remove(garbage.c_str());

  const std::string latin = GW_TEST_LATIN_FONT;
  EXPECT_EQ(ErrorOf(latin), "font file " + latin + ": it has no Japanese characters");
}

// No --font means the proportional IPA Gothic file, as it always has here.
TEST(ChartFont, NoFontNamedDrawsWithTheProportionalIpaGothic) {
  const Reading reading = gwtest::AfternoonReading();
  const std::string byDefault = MakeChartDrawer("")->DrawMeter(reading, "東京");
  // Compared whole, so that a failure does not print two GIFs.
  EXPECT_TRUE(byDefault == MakeChartDrawer("/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf")->DrawMeter(reading, "東京"))
      << "not drawn as with ipagp.ttf";
  EXPECT_FALSE(byDefault == MakeChartDrawer(GW_TEST_JAPANESE_FONT)->DrawMeter(reading, "東京")) << "drawn as with ipag.ttf";
}

}  // namespace
}  // namespace gw::bridge
