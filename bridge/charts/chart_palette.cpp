#include "bridge/charts/chart_palette.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace gw::bridge {
namespace {

constexpr uint32_t kRgbMask = 0xFFFFFF;

struct ColourCount {
  uint32_t colour;
  size_t count;
};

// The distinct colours of the image with how often each occurs, by colour.
std::vector<ColourCount> CountColours(const std::vector<uint32_t>& pixels) {
  std::vector<uint32_t> sorted(pixels.size());
  std::transform(pixels.begin(), pixels.end(), sorted.begin(), [](uint32_t p) { return p & kRgbMask; });
  std::sort(sorted.begin(), sorted.end());
  std::vector<ColourCount> counts;
  for (uint32_t colour : sorted) {
    if (counts.empty() || counts.back().colour != colour) counts.push_back({colour, 0});
    ++counts.back().count;
  }
  return counts;
}

bool Present(const std::vector<ColourCount>& counts, uint32_t colour) {
  auto at = std::lower_bound(counts.begin(), counts.end(), colour,
                             [](const ColourCount& c, uint32_t v) { return c.colour < v; });
  return at != counts.end() && at->colour == colour;
}

std::vector<uint32_t> ChoosePalette(std::vector<ColourCount> counts,
                                    const std::vector<uint32_t>& keyColours, size_t maxColours) {
  std::vector<uint32_t> palette;
  for (uint32_t key : keyColours) {
    const uint32_t colour = key & kRgbMask;
    if (palette.size() < maxColours && Present(counts, colour) &&
        std::find(palette.begin(), palette.end(), colour) == palette.end()) {
      palette.push_back(colour);
    }
  }
  std::stable_sort(counts.begin(), counts.end(),
                   [](const ColourCount& a, const ColourCount& b) { return a.count > b.count; });
  for (const ColourCount& c : counts) {
    if (palette.size() >= maxColours) break;
    if (std::find(palette.begin(), palette.end(), c.colour) == palette.end()) palette.push_back(c.colour);
  }
  return palette;
}

int Distance(uint32_t a, uint32_t b) {
  int sum = 0;
  for (int shift : {16, 8, 0}) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    sum += d * d;
  }
  return sum;
}

uint8_t NearestIndex(const std::vector<uint32_t>& palette, uint32_t colour) {
  size_t best = 0;
  for (size_t i = 1; i < palette.size(); ++i) {
    if (Distance(palette[i], colour) < Distance(palette[best], colour)) best = i;
  }
  return static_cast<uint8_t>(best);
}

}  // namespace

IndexedImage ReducePalette(const std::vector<uint32_t>& pixels,
                           const std::vector<uint32_t>& keyColours, size_t maxColours) {
  if (maxColours == 0 || maxColours > 256) throw std::invalid_argument("a palette holds 1 to 256 colours");
  const std::vector<ColourCount> counts = CountColours(pixels);
  IndexedImage image;
  image.palette = ChoosePalette(counts, keyColours, maxColours);
  if (image.palette.empty()) return image;
  // Each distinct colour is mapped once; pixels then look their colour up.
  std::vector<uint8_t> mapped(counts.size());
  for (size_t i = 0; i < counts.size(); ++i) mapped[i] = NearestIndex(image.palette, counts[i].colour);
  image.indices.reserve(pixels.size());
  for (uint32_t p : pixels) {
    auto at = std::lower_bound(counts.begin(), counts.end(), p & kRgbMask,
                               [](const ColourCount& c, uint32_t v) { return c.colour < v; });
    image.indices.push_back(mapped[static_cast<size_t>(at - counts.begin())]);
  }
  return image;
}

}  // namespace gw::bridge
