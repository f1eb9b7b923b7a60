// The simple drawer: a plain GIF with the reading's percentage and time as
// text, so that the bridge builds and serves real images on its own. The
// graphs proper are drawn by chart_gd.cpp, which replaces this file.
#include <gd.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "bridge/chart.h"

namespace gw::bridge {
namespace {

struct ImageDeleter {
  void operator()(gdImage* image) const { gdImageDestroy(image); }
};
using Image = std::unique_ptr<gdImage, ImageDeleter>;

class SimpleDrawer final : public ChartDrawer {
 public:
  explicit SimpleDrawer(std::string font) : font_(std::move(font)) {}

  std::string DrawMeter(const Reading& r) override {
    return Plain(200, 80, std::to_string(r.percent) + "%", Time(r));
  }

  std::string DrawDay(const Reading& r, const DayFigures& day) override {
    return Plain(400, 80, std::to_string(r.usage) + " / " + std::to_string(r.capacity) + " 万kW",
                 std::to_string(day.month) + "月" + std::to_string(day.day) + "日");
  }

 private:
  static std::string Time(const Reading& r) {
    return std::to_string(r.month) + "/" + std::to_string(r.day) + " " + std::to_string(r.hour) + "時";
  }

  std::string Plain(int width, int height, const std::string& big, const std::string& small) {
    Image image(gdImageCreate(width, height));
    if (!image) throw std::runtime_error("out of memory for an image");
    gdImageColorAllocate(image.get(), 255, 255, 255);
    int ink = gdImageColorAllocate(image.get(), 0, 0, 0);
    Text(image.get(), ink, 22, 10, 36, big);
    Text(image.get(), ink, 12, 10, 66, small);
    int size = 0;
    void* bytes = gdImageGifPtr(image.get(), &size);
    if (bytes == nullptr) throw std::runtime_error("libgd could not write a GIF");
    std::string gif(static_cast<const char*>(bytes), static_cast<size_t>(size));
    gdFree(bytes);
    return gif;
  }

  void Text(gdImage* image, int ink, double size, int x, int y, const std::string& text) {
    int box[8];
    std::string s = text;
    const char* error = gdImageStringFT(image, box, ink, const_cast<char*>(font_.c_str()), size, 0, x, y, &s[0]);
    if (error != nullptr) throw std::runtime_error(std::string("cannot draw text: ") + error);
  }

  std::string font_;
};

}  // namespace

std::unique_ptr<ChartDrawer> MakeChartDrawer(const std::string& fontFile) {
  int box[8];
  std::string probe = "使用率";
  const char* error = gdImageStringFT(nullptr, box, 0, const_cast<char*>(fontFile.c_str()), 12, 0, 0, 0, &probe[0]);
  if (error != nullptr) throw std::runtime_error("cannot use the font " + fontFile + ": " + error);
  return std::make_unique<SimpleDrawer>(fontFile);
}

}  // namespace gw::bridge
