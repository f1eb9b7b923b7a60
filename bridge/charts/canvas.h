// The drawing surface the graphs are drawn on. The graphs' layout, colours
// and text are decided once, in portable code; each platform supplies only
// the pixels: libgd with FreeType natively, GDI+ with WIC on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gw::bridge {

struct Point {
  double x;
  double y;
};

enum class Align { kLeft, kCentre, kRight };

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {}
  virtual ~Canvas() = default;
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Shapes, in pixels of the final image; fractions are kept and edges are
  // smoothed. Colours are 0xRRGGBB. Later shapes cover earlier ones.
  virtual void FillRect(double x0, double y0, double x1, double y1, uint32_t rgb) = 0;
  virtual void FillPolygon(const std::vector<Point>& points, uint32_t rgb) = 0;
  virtual void FillCircle(double cx, double cy, double radius, uint32_t rgb) = 0;

  // Made of the shapes above, so they look alike on every platform.
  void FillRoundedRect(double x0, double y0, double x1, double y1, double radius, uint32_t rgb);
  // A line of the given width with round ends and joins.
  void Polyline(const std::vector<Point>& points, double width, uint32_t rgb);
  // Part of a ring around (cx, cy), between two angles in degrees counted
  // anticlockwise from the right, as on a dial.
  void FillRing(double cx, double cy, double inner, double outer, double fromDegrees,
                double toDegrees, uint32_t rgb);

  // Text in UTF-8, `px` pixels high (em size), its baseline at y, drawn
  // antialiased. Text is always drawn over the shapes, whatever the order of
  // the calls.
  void Text(double x, double baseline, const std::string& utf8, double px, uint32_t rgb,
            Align align = Align::kLeft);
  virtual double TextWidth(const std::string& utf8, double px) const = 0;

  // The finished image as GIF bytes. The key colours (those that carry
  // meaning) keep their exact values in the file's palette.
  virtual std::string EncodeGif(const std::vector<uint32_t>& keyColours) const = 0;

 protected:
  // A run of text at whole pixels, its alignment already applied.
  virtual void PlaceText(int x, int baseline, const std::string& utf8, double px, uint32_t rgb) = 0;

 private:
  int width_;
  int height_;
};

// A font that the platform has checked can draw the graphs' Japanese, and
// that makes canvases drawing with it.
class ChartFont {
 public:
  virtual ~ChartFont() = default;
  // Throws std::runtime_error when the image cannot be made.
  virtual std::unique_ptr<Canvas> NewCanvas(int width, int height, uint32_t background) const = 0;
};

// The platform's font from what --font names; empty names the platform's
// default (natively the IPA P Gothic file of fonts-ipafont-gothic, on Windows
// the first installed of Meiryo, Yu Gothic, MS Gothic and IPAGothic, which
// stands in for them under Wine). Throws std::runtime_error
// naming the cause when it cannot be used, so that a font without Japanese
// is refused at start rather than found in a mail full of empty boxes.
std::unique_ptr<ChartFont> OpenChartFont(const std::string& font);

}  // namespace gw::bridge
