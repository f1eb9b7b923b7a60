// A small drawing surface on libgd for the bridge's graphs. Shapes are drawn
// at a multiple of the final size and scaled down, which gives smooth edges
// to lines, arcs and circles (libgd smooths only one-pixel lines itself).
// Text is drawn afterwards at the final size with FreeType, so that it is
// hinted for the pixels it lands on and never blurred by the scaling.
#pragma once

#include <gd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gw::bridge {

struct GdImageDeleter {
  void operator()(gdImagePtr image) const { gdImageDestroy(image); }
};
using GdImage = std::unique_ptr<gdImage, GdImageDeleter>;

struct Point {
  double x;
  double y;
};

enum class Align { kLeft, kCentre, kRight };

class GdCanvas {
 public:
  // Throws std::runtime_error when the images cannot be made.
  GdCanvas(int width, int height, std::string fontFile, uint32_t background);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Shapes, in pixels of the final image; fractions are kept. Colours are
  // 0xRRGGBB. Later shapes cover earlier ones.
  void FillRect(double x0, double y0, double x1, double y1, uint32_t rgb);
  void FillRoundedRect(double x0, double y0, double x1, double y1, double radius, uint32_t rgb);
  void FillPolygon(const std::vector<Point>& points, uint32_t rgb);
  void FillCircle(double cx, double cy, double radius, uint32_t rgb);
  // A line of the given width with round ends and joins.
  void Polyline(const std::vector<Point>& points, double width, uint32_t rgb);
  // Part of a ring around (cx, cy), between two angles in degrees counted
  // anticlockwise from the right, as on a dial.
  void FillRing(double cx, double cy, double inner, double outer, double fromDegrees,
                double toDegrees, uint32_t rgb);

  // Text in UTF-8, `px` pixels high (em size), its baseline at y. Text is
  // always drawn over the shapes, whatever the order of the calls.
  void Text(double x, double baseline, const std::string& utf8, double px, uint32_t rgb,
            Align align = Align::kLeft);
  double TextWidth(const std::string& utf8, double px) const;

  // The finished image as GIF bytes. The key colours (those that carry
  // meaning) keep their exact values in the file's palette.
  std::string EncodeGif(const std::vector<uint32_t>& keyColours) const;

 private:
  struct TextRun {
    int x;
    int baseline;
    std::string utf8;
    double px;
    uint32_t rgb;
  };

  int Scaled(double v) const;
  GdImage Flatten() const;

  int width_;
  int height_;
  std::string fontFile_;
  GdImage shapes_;
  std::vector<TextRun> texts_;
};

// Renders one text run with FreeType through libgd, into the image or, with
// a null image, only measuring it. Returns the bounding box as libgd gives it
// (eight numbers: the four corners). Throws std::runtime_error with libgd's
// reason when the font cannot be used.
std::vector<int> RenderText(gdImagePtr image, const std::string& fontFile, const std::string& utf8,
                            double px, int colour, int x, int baseline);

}  // namespace gw::bridge
