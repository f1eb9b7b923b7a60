// The graphs' canvas natively: libgd, with FreeType for the text.
#include <gd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "bridge/charts/canvas.h"
#include "bridge/charts/chart_palette.h"

namespace gw::bridge {
namespace {

struct GdImageDeleter {
  void operator()(gdImagePtr image) const { gdImageDestroy(image); }
};
using GdImage = std::unique_ptr<gdImage, GdImageDeleter>;

// Shapes are drawn at twice the final size: four samples per pixel give
// smooth enough edges at the sizes drawn here, and the working image stays
// under 3 MB (three times the size looked no better and took 6 MB, which
// counts against the bridge's small memory budget).
constexpr int kSupersample = 2;

// The font when none is named: the proportional IPA Gothic of Debian's
// fonts-ipafont-gothic.
constexpr char kDefaultFontFile[] = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";

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

// Renders one text run with FreeType through libgd, into the image or, with
// a null image, only measuring it. Returns the bounding box as libgd gives it
// (eight numbers: the four corners). Throws std::runtime_error with libgd's
// reason when the font cannot be used.
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

// Shapes are drawn at a multiple of the final size and scaled down, which
// gives smooth edges to lines, arcs and circles (libgd smooths only
// one-pixel lines itself). Text is drawn afterwards at the final size with
// FreeType, so that it is hinted for the pixels it lands on and never blurred
// by the scaling.
class GdCanvas final : public Canvas {
 public:
  GdCanvas(int width, int height, std::string fontFile, uint32_t background);

  void FillRect(double x0, double y0, double x1, double y1, uint32_t rgb) override;
  void FillPolygon(const std::vector<Point>& points, uint32_t rgb) override;
  void FillCircle(double cx, double cy, double radius, uint32_t rgb) override;
  double TextWidth(const std::string& utf8, double px) const override;
  std::string EncodeGif(const std::vector<uint32_t>& keyColours) const override;

 protected:
  void PlaceText(int x, int baseline, const std::string& utf8, double px, uint32_t rgb) override;

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

  std::string fontFile_;
  GdImage shapes_;
  std::vector<TextRun> texts_;
};

GdCanvas::GdCanvas(int width, int height, std::string fontFile, uint32_t background)
    : Canvas(width, height),
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

void GdCanvas::PlaceText(int x, int baseline, const std::string& utf8, double px, uint32_t rgb) {
  texts_.push_back(TextRun{x, baseline, utf8, px, rgb});
}

double GdCanvas::TextWidth(const std::string& utf8, double px) const {
  const std::vector<int> box = RenderText(nullptr, fontFile_, utf8, px, 0, 0, 0);
  return box[2] - box[0];
}

GdImage GdCanvas::Flatten() const {
  GdImage image = MakeTrueColor(Width(), Height());
  gdImageCopyResampled(image.get(), shapes_.get(), 0, 0, 0, 0, Width(), Height(),
                       Width() * kSupersample, Height() * kSupersample);
  gdImageAlphaBlending(image.get(), 1);
  for (const TextRun& run : texts_) {
    RenderText(image.get(), fontFile_, run.utf8, run.px, TrueColour(run.rgb), run.x, run.baseline);
  }
  return image;
}

std::string GdCanvas::EncodeGif(const std::vector<uint32_t>& keyColours) const {
  const GdImage full = Flatten();
  std::vector<uint32_t> pixels;
  pixels.reserve(static_cast<size_t>(Width()) * static_cast<size_t>(Height()));
  for (int y = 0; y < Height(); ++y) {
    for (int x = 0; x < Width(); ++x) {
      pixels.push_back(static_cast<uint32_t>(gdImageTrueColorPixel(full.get(), x, y)));
    }
  }
  const IndexedImage indexed = ReducePalette(pixels, keyColours);
  GdImage gif(gdImageCreate(Width(), Height()));
  if (!gif) throw std::runtime_error("cannot allocate the GIF image");
  for (uint32_t rgb : indexed.palette) {
    gdImageColorAllocate(gif.get(), (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  size_t at = 0;
  for (int y = 0; y < Height(); ++y) {
    for (int x = 0; x < Width(); ++x) gdImageSetPixel(gif.get(), x, y, indexed.indices[at++]);
  }
  int size = 0;
  void* bytes = gdImageGifPtr(gif.get(), &size);
  if (bytes == nullptr) throw std::runtime_error("cannot encode the GIF image");
  std::string gifBytes(static_cast<const char*>(bytes), static_cast<size_t>(size));
  gdFree(bytes);
  return gifBytes;
}

class GdChartFont final : public ChartFont {
 public:
  explicit GdChartFont(std::string fontFile) : fontFile_(std::move(fontFile)) {}
  std::unique_ptr<Canvas> NewCanvas(int width, int height, uint32_t background) const override {
    return std::make_unique<GdCanvas>(width, height, fontFile_, background);
  }

 private:
  std::string fontFile_;
};

// Whether two texts come out as the very same pixels: a font without
// Japanese characters draws each of them as the same "missing" box.
bool DrawnAlike(const std::string& fontFile, const std::string& a, const std::string& b) {
  constexpr int kSize = 40;
  auto draw = [&](const std::string& text) {
    GdImage image = MakeTrueColor(kSize, kSize);
    RenderText(image.get(), fontFile, text, 24, gdTrueColor(255, 255, 255), 4, 30);
    return image;
  };
  const GdImage first = draw(a);
  const GdImage second = draw(b);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (gdImageTrueColorPixel(first.get(), x, y) != gdImageTrueColorPixel(second.get(), x, y)) return false;
    }
  }
  return true;
}

void CheckFont(const std::string& path, const std::string& named) {
  if (!std::ifstream(path, std::ios::binary)) {
    throw std::runtime_error("font file " + named + ": cannot open it: " + std::strerror(errno));
  }
  try {
    if (DrawnAlike(path, "電", "力")) throw std::runtime_error("it has no Japanese characters");
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("font file " + named + ": " + e.what());
  }
}

}  // namespace

std::unique_ptr<ChartFont> OpenChartFont(const std::string& font) {
  const std::string fontFile = font.empty() ? kDefaultFontFile : font;
  // libgd shares loaded fonts between threads once its cache is set up.
  static std::once_flag cacheSetUp;
  std::call_once(cacheSetUp, [] { gdFontCacheSetup(); });
  // A bare file name would send libgd searching its own font folders; the
  // name given means the file in the current directory.
  const std::string path = fontFile.find('/') == std::string::npos ? "./" + fontFile : fontFile;
  CheckFont(path, fontFile);
  return std::make_unique<GdChartFont>(path);
}

}  // namespace gw::bridge
