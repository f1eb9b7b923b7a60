// Whole-file Base64 conversion as the hosts offer it to the plug-in: the
// standard alphabet of RFC 2045, lines of 76 characters ended by CR LF.
#pragma once

#include <string>

#include "base/base64.h"

namespace gwhost {

using gw::DecodeBase64;
using gw::EncodeBase64;

// The host function's work: reads `input`, writes `output`. Returns 0, or a
// negative code when a file cannot be read or written or the input is not
// Base64; the output file is then not written.
int ConvertFileBase64(const char* output, const char* input, int encode);

}  // namespace gwhost
