#include "bridge/charts/gd_canvas.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "bridge/charts/chart_palette.h"

namespace gw::bridge {
namespace {

// Shapes are drawn at twice the final size: four samples per pixel give
// smooth enough edges at the sizes drawn here, and the working image stays
// under 3 MB (three times the size looked no better and took 6 MB, which
// counts against the bridge's small memory budget).
constexpr int kSupersample = 2;
constexpr double kPi = 3.14159265358979323846;

GdImage MakeTrueColor(int width, int height) {
  GdImage image(gdImageCreateTrueColor(width, height));
  if (!image) throw std::runtime_error("cannot allocate a " + std::to_string(width) + "x" +
                                       std::to_string(height) + " image");
  return image;
}

int TrueColour(uint32_t rgb) {
  return gdTrueColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                     static_cast<int>(rgb & 0xFF));
}

// Points along an arc, enough for a smooth curve at any radius used here.
void AppendArc(std::vector<Point>& points, double cx, double cy, double radius, double fromDegrees,
               double toDegrees) {
  const int segments = std::max(2, static_cast<int>(std::fabs(toDegrees - fromDegrees) / 2.0));
  for (int i = 0; i <= segments; ++i) {
    const double degrees = fromDegrees + (toDegrees - fromDegrees) * i / segments;
    const double radians = degrees * kPi / 180.0;
    points.push_back({cx + radius * std::cos(radians), cy - radius * std::sin(radians)});
  }
}

}  // namespace

std::vector<int> RenderText(gdImagePtr image, const std::string& fontFile, const std::string& utf8,
                            double px, int colour, int x, int baseline) {
  // At 72 dpi a point is a pixel, so sizes in the layout are pixel sizes.
  gdFTStringExtra extra{};
  extra.flags = gdFTEX_RESOLUTION | gdFTEX_CHARMAP;
  extra.charmap = gdFTEX_Unicode;
  extra.hdpi = 72;
  extra.vdpi = 72;
  std::vector<int> box(8, 0);
  const char* error = gdImageStringFTEx(image, box.data(), colour, fontFile.c_str(), px, 0.0, x,
                                        baseline, utf8.c_str(), &extra);
  if (error != nullptr) throw std::runtime_error(error);
  return box;
}

GdCanvas::GdCanvas(int width, int height, std::string fontFile, uint32_t background)
    : width_(width),
      height_(height),
      fontFile_(std::move(fontFile)),
      shapes_(MakeTrueColor(width * kSupersample, height * kSupersample)) {
  gdImageAlphaBlending(shapes_.get(), 0);
  gdImageFilledRectangle(shapes_.get(), 0, 0, width * kSupersample - 1, height * kSupersample - 1,
                         TrueColour(background));
}

int GdCanvas::Scaled(double v) const { return static_cast<int>(std::lround(v * kSupersample)); }

void GdCanvas::FillRect(double x0, double y0, double x1, double y1, uint32_t rgb) {
  if (x1 <= x0 || y1 <= y0) return;
  gdImageFilledRectangle(shapes_.get(), Scaled(x0), Scaled(y0), Scaled(x1) - 1, Scaled(y1) - 1,
                         TrueColour(rgb));
}

void GdCanvas::FillRoundedRect(double x0, double y0, double x1, double y1, double radius,
                               uint32_t rgb) {
  radius = std::min({radius, (x1 - x0) / 2, (y1 - y0) / 2});
  std::vector<Point> outline;
  AppendArc(outline, x1 - radius, y0 + radius, radius, 0, 90);
  AppendArc(outline, x0 + radius, y0 + radius, radius, 90, 180);
  AppendArc(outline, x0 + radius, y1 - radius, radius, 180, 270);
  AppendArc(outline, x1 - radius, y1 - radius, radius, 270, 360);
  FillPolygon(outline, rgb);
}

void GdCanvas::FillPolygon(const std::vector<Point>& points, uint32_t rgb) {
  if (points.size() < 3) return;
  std::vector<gdPoint> scaled;
  scaled.reserve(points.size());
  for (const Point& p : points) scaled.push_back(gdPoint{Scaled(p.x), Scaled(p.y)});
  gdImageFilledPolygon(shapes_.get(), scaled.data(), static_cast<int>(scaled.size()),
                       TrueColour(rgb));
}

void GdCanvas::FillCircle(double cx, double cy, double radius, uint32_t rgb) {
  const int diameter = Scaled(2 * radius);
  gdImageFilledEllipse(shapes_.get(), Scaled(cx), Scaled(cy), diameter, diameter, TrueColour(rgb));
}

void GdCanvas::Polyline(const std::vector<Point>& points, double width, uint32_t rgb) {
  const double half = width / 2;
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const Point a = points[i];
    const Point b = points[i + 1];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (length <= 0) continue;
    // The segment as a quadrilateral: the line pushed out half the width on
    // either side, perpendicular to its direction.
    const double nx = -(b.y - a.y) / length * half;
    const double ny = (b.x - a.x) / length * half;
    FillPolygon({{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}},
                rgb);
  }
  for (const Point& p : points) FillCircle(p.x, p.y, half, rgb);
}

void GdCanvas::FillRing(double cx, double cy, double inner, double outer, double fromDegrees,
                        double toDegrees, uint32_t rgb) {
  std::vector<Point> outline;
  AppendArc(outline, cx, cy, outer, fromDegrees, toDegrees);
  AppendArc(outline, cx, cy, inner, toDegrees, fromDegrees);
  FillPolygon(outline, rgb);
}

void GdCanvas::Text(double x, double baseline, const std::string& utf8, double px, uint32_t rgb,
                    Align align) {
  if (align != Align::kLeft) {
    const double width = TextWidth(utf8, px);
    x -= align == Align::kCentre ? width / 2 : width;
  }
  texts_.push_back(TextRun{static_cast<int>(std::lround(x)), static_cast<int>(std::lround(baseline)),
                           utf8, px, rgb});
}

double GdCanvas::TextWidth(const std::string& utf8, double px) const {
  const std::vector<int> box = RenderText(nullptr, fontFile_, utf8, px, 0, 0, 0);
  return box[2] - box[0];
}

GdImage GdCanvas::Flatten() const {
  GdImage image = MakeTrueColor(width_, height_);
  gdImageCopyResampled(image.get(), shapes_.get(), 0, 0, 0, 0, width_, height_,
                       width_ * kSupersample, height_ * kSupersample);
  gdImageAlphaBlending(image.get(), 1);
  for (const TextRun& run : texts_) {
    RenderText(image.get(), fontFile_, run.utf8, run.px, TrueColour(run.rgb), run.x, run.baseline);
  }
  return image;
}

std::string GdCanvas::EncodeGif(const std::vector<uint32_t>& keyColours) const {
  const GdImage full = Flatten();
  std::vector<uint32_t> pixels;
  pixels.reserve(static_cast<size_t>(width_) * static_cast<size_t>(height_));
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      pixels.push_back(static_cast<uint32_t>(gdImageTrueColorPixel(full.get(), x, y)));
    }
  }
  const IndexedImage indexed = ReducePalette(pixels, keyColours);
  GdImage gif(gdImageCreate(width_, height_));
  if (!gif) throw std::runtime_error("cannot allocate the GIF image");
  for (uint32_t rgb : indexed.palette) {
    gdImageColorAllocate(gif.get(), (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  size_t at = 0;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) gdImageSetPixel(gif.get(), x, y, indexed.indices[at++]);
  }
  int size = 0;
  void* bytes = gdImageGifPtr(gif.get(), &size);
  if (bytes == nullptr) throw std::runtime_error("cannot encode the GIF image");
  std::string gifBytes(static_cast<const char*>(bytes), static_cast<size_t>(size));
  gdFree(bytes);
  return gifBytes;
}

}  // namespace gw::bridge
