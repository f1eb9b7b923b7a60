#include "bridge/charts/chart_palette.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace gw::bridge {
namespace {

std::vector<uint32_t> Decoded(const IndexedImage& image) {
  std::vector<uint32_t> pixels;
  for (uint8_t index : image.indices) {
    EXPECT_LT(index, image.palette.size());
    pixels.push_back(index < image.palette.size() ? image.palette[index] : 0);
  }
  return pixels;
}

TEST(ChartPalette, FewColoursComeThroughExactly) {
  const std::vector<uint32_t> pixels = {0xFFFFFF, 0x3BAA5C, 0xFFFFFF, 0x123456, 0x3BAA5C};
  const IndexedImage image = ReducePalette(pixels, {});
  EXPECT_EQ(image.palette.size(), 3u);
  EXPECT_EQ(Decoded(image), pixels);
}

TEST(ChartPalette, OnlyTheColourBitsCount) {
  // libgd keeps alpha in the top bits of a pixel; opaque or not, a colour is
  // one palette entry.
  const IndexedImage image = ReducePalette({0x00FF0000, 0x7FFF0000}, {});
  ASSERT_EQ(image.palette.size(), 1u);
  EXPECT_EQ(image.palette[0], 0xFF0000u);
}

// Flat areas, many rare shades between them (the smoothed edges) and one
// rare key colour: the key colour keeps its exact value, each shade goes to
// its nearest kept colour.
TEST(ChartPalette, KeyColoursStayExactAmongTooManyShades) {
  std::vector<uint32_t> pixels;
  for (uint32_t grey = 0; grey < 256; grey += 32) pixels.insert(pixels.end(), 100, grey * 0x010101);
  for (uint32_t grey = 0; grey < 240; ++grey) {
    if (grey % 32 != 0) pixels.push_back(grey * 0x010101);
  }
  const uint32_t rareKey = 0xD7263D;
  pixels.push_back(rareKey);
  pixels.push_back(0xD7263E);  // close to the key, not itself a key
  const IndexedImage image = ReducePalette(pixels, {rareKey, 0x00FF00 /* absent */}, 10);
  EXPECT_EQ(image.palette.size(), 10u);
  EXPECT_EQ(image.palette[0], rareKey);
  const std::vector<uint32_t> decoded = Decoded(image);
  EXPECT_EQ(decoded[decoded.size() - 2], rareKey);
  EXPECT_EQ(decoded.back(), rareKey);
  for (size_t i = 0; i + 2 < decoded.size(); ++i) {
    const uint32_t c = decoded[i];
    ASSERT_TRUE(((c >> 16) & 0xFF) == (c & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF)) << std::hex << c;
    ASSERT_LE(std::abs(static_cast<int>(c & 0xFF) - static_cast<int>(pixels[i] & 0xFF)), 16);
  }
}

TEST(ChartPalette, TheCommonestColoursAreKept) {
  std::vector<uint32_t> pixels(100, 0x112233);
  pixels.insert(pixels.end(), 50, 0x445566);
  pixels.insert(pixels.end(), {0x000001, 0x000002, 0x000003});
  const IndexedImage image = ReducePalette(pixels, {}, 2);
  EXPECT_EQ(image.palette, (std::vector<uint32_t>{0x112233, 0x445566}));
}

TEST(ChartPalette, SamePixelsGiveTheSamePalette) {
  std::vector<uint32_t> pixels;
  for (uint32_t i = 0; i < 5000; ++i) pixels.push_back((i * 2654435761u) & 0xFFFFFF);
  const IndexedImage a = ReducePalette(pixels, {0xFFFFFF});
  const IndexedImage b = ReducePalette(pixels, {0xFFFFFF});
  EXPECT_EQ(a.palette, b.palette);
  EXPECT_EQ(a.indices, b.indices);
  EXPECT_EQ(a.palette.size(), 256u);
}

TEST(ChartPalette, RefusesPalettesGifCannotHold) {
  EXPECT_THROW(ReducePalette({0}, {}, 0), std::invalid_argument);
  EXPECT_THROW(ReducePalette({0}, {}, 257), std::invalid_argument);
  EXPECT_TRUE(ReducePalette({}, {}).indices.empty());
}

}  // namespace
}  // namespace gw::bridge
