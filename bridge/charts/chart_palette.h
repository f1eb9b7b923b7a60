// GIF holds at most 256 colours. The graphs are drawn in full colour (for
// smooth edges and text) and then reduced here, keeping the colours that carry
// meaning exact: a band's green stays that very green in the file, so that a
// reader of the image, human or test, can tell the bands apart reliably.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gw::bridge {

struct IndexedImage {
  std::vector<uint32_t> palette;  // 0xRRGGBB, at most the size asked for
  std::vector<uint8_t> indices;   // one per pixel, into palette
};

// Keeps every key colour present in the pixels, then the most frequent other
// colours, up to maxColours (at most 256); any other pixel takes the nearest
// kept colour. Only the low 24 bits of a pixel count. Ties are broken by the
// colour value, so the same pixels always give the same result.
IndexedImage ReducePalette(const std::vector<uint32_t>& pixels,
                           const std::vector<uint32_t>& keyColours, size_t maxColours = 256);

}  // namespace gw::bridge
