#include "bridge/charts/chart.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

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
  const std::string meter = drawer_->DrawMeter(reading_);
  const std::string graph = drawer_->DrawDay(reading_, day_);
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
  EXPECT_EQ(drawer_->DrawMeter(reading_), other->DrawMeter(reading_));
  EXPECT_EQ(drawer_->DrawDay(reading_, day_), drawer_->DrawDay(reading_, day_));
  EXPECT_EQ(drawer_->DrawDay(reading_, day_), other->DrawDay(reading_, day_));
}

TEST_F(Chart, GraphsChangeWithTheReading) {
  const std::string meter = drawer_->DrawMeter(reading_);
  const std::string graph = drawer_->DrawDay(reading_, day_);
  Reading later = reading_;
  later.percent = 84;
  EXPECT_NE(drawer_->DrawMeter(later), meter);
  later = reading_;
  later.hour = 15;
  EXPECT_NE(drawer_->DrawMeter(later), meter);
  later = reading_;
  later.usage = 3870;
  EXPECT_NE(drawer_->DrawMeter(later), meter);

  DayFigures next = day_;
  next.hours[15].actual = 3950;
  EXPECT_NE(drawer_->DrawDay(reading_, next), graph);
  next = day_;
  next.hours[20].forecast = 4700;
  EXPECT_NE(drawer_->DrawDay(reading_, next), graph);
  next = day_;
  next.updated = "2026-12-07T15:00:00+09:00";
  EXPECT_NE(drawer_->DrawDay(reading_, next), graph);
}

TEST_F(Chart, BarsTakeTheColourOfTheirHoursBand) {
  const Decoded gif(drawer_->DrawDay(reading_, day_));
  EXPECT_EQ(BarColourAt(gif, day_, 3), BandColour(UsageBand::kStable));
  EXPECT_EQ(BarColourAt(gif, day_, 9), BandColour(UsageBand::kSomewhatTight));
  EXPECT_EQ(BarColourAt(gif, day_, 10), BandColour(UsageBand::kTight));
  EXPECT_EQ(BarColourAt(gif, day_, 11), BandColour(UsageBand::kVeryTight));
  // No capacity of its own: banded by the day's peak, 90 % of it.
  EXPECT_EQ(BarColourAt(gif, day_, 12), BandColour(UsageBand::kStable));
}

TEST_F(Chart, BarsReachTheirFigure) {
  const Decoded gif(drawer_->DrawDay(reading_, day_));
  const DayPlot plot = PlotOf(day_);
  const double x = plot.SlotCentre(11);
  const double top = plot.Y(day_.hours[11].actual);
  EXPECT_EQ(gif.At(x, top + 3), BandColour(UsageBand::kVeryTight));
  EXPECT_NE(gif.At(x, top - 4), BandColour(UsageBand::kVeryTight));
  // Between two bars there is a gap, so that hours read apart.
  EXPECT_EQ(gif.At(plot.SlotLeft(4), plot.bottom - 6), kWhite);
}

TEST_F(Chart, HoursToComeHaveNoBarButTheirLines) {
  const Decoded gif(drawer_->DrawDay(reading_, day_));
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
  const Decoded gif(drawer_->DrawDay(reading_, day));
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
  const Decoded stable(drawer_->DrawMeter(reading_));
  EXPECT_EQ(dialAt(stable, 10), BandColour(UsageBand::kStable));
  EXPECT_EQ(dialAt(stable, 75), BandColour(UsageBand::kStable));
  // Past the reading the dial is an empty track.
  EXPECT_NE(dialAt(stable, 88), BandColour(UsageBand::kStable));

  Reading tight = reading_;
  tight.usage = 4550;
  tight.percent = 95;
  const Decoded tightGif(drawer_->DrawMeter(tight));
  EXPECT_EQ(dialAt(tightGif, 10), BandColour(UsageBand::kTight));
  EXPECT_EQ(dialAt(tightGif, 90), BandColour(UsageBand::kTight));

  // Demand over the supply fills the whole dial, and draws.
  Reading over = reading_;
  over.percent = 104;
  const Decoded overGif(drawer_->DrawMeter(over));
  EXPECT_EQ(dialAt(overGif, 98), BandColour(UsageBand::kVeryTight));
}

TEST_F(Chart, ADayWithoutActualsOrCapacityStillDraws) {
  DayFigures midnight;
  midnight.year = 2026;
  midnight.month = 12;
  midnight.day = 8;
  for (int h = 0; h < 24; ++h) midnight.hours[h].forecast = 3000 + 30 * h;
  const Decoded gif(drawer_->DrawDay(Reading{}, midnight));
  ASSERT_TRUE(gif.Valid());
  for (int hour = 0; hour < 24; ++hour) EXPECT_EQ(BarColourAt(gif, midnight, hour), kWhite) << hour;
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
  const std::string byDefault = MakeChartDrawer("")->DrawMeter(reading);
  // Compared whole, so that a failure does not print two GIFs.
  EXPECT_TRUE(byDefault == MakeChartDrawer("/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf")->DrawMeter(reading))
      << "not drawn as with ipagp.ttf";
  EXPECT_FALSE(byDefault == MakeChartDrawer(GW_TEST_JAPANESE_FONT)->DrawMeter(reading)) << "drawn as with ipag.ttf";
}

}  // namespace
}  // namespace gw::bridge
