// The operator's file as it was sent compressed: WinHTTP hands over the
// bytes as they came (its own decoding exists only on newer Windows, and
// not under Wine), so the bridge decodes gzip and deflate itself, as
// libcurl does on Linux.
#pragma once

#include <cstddef>
#include <string>

namespace gw::bridge {

enum class ContentDecoding { kDone, kTooLarge, kCorrupt, kUnknownCoding };

// Replaces `body`, sent with the Content-Encoding `coding` ("gzip",
// "x-gzip", "deflate"; empty or "identity": left as it is), by what it
// encodes. Stops at kTooLarge once that passes `limit` bytes, so that a
// small answer cannot unpack into an unbounded one.
ContentDecoding DecodeContent(const std::string& coding, size_t limit, std::string* body);

}  // namespace gw::bridge
