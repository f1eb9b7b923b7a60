// GIF files on Windows, written by WIC from the chart's indexed pixels.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/charts/chart_palette.h"

namespace gw::bridge {

// The GIF file of an image already reduced to its palette: 8 bits a pixel,
// with exactly that palette. Throws std::runtime_error naming the step and
// Windows' reason when WIC cannot write it.
std::string EncodeIndexedGif(int width, int height, const IndexedImage& image);

// Windows' own words for an HRESULT (or HRESULT_FROM_WIN32 of an error),
// with its code.
std::string HResultText(int32_t hr);

}  // namespace gw::bridge
