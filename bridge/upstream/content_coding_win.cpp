#include "bridge/upstream/content_coding_win.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

namespace gw::bridge {
namespace {

std::string Lower(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); }), text.end());
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// windowBits: 15 + 32 takes a gzip or a zlib stream, whichever the header
// says; -15 a raw deflate stream, which some servers send as "deflate".
ContentDecoding Inflate(const std::string& in, int windowBits, size_t limit, std::string* out) {
  z_stream z{};
  if (inflateInit2(&z, windowBits) != Z_OK) return ContentDecoding::kCorrupt;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  char chunk[16384];
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    status = inflate(&z, Z_NO_FLUSH);
    out->append(chunk, sizeof chunk - z.avail_out);
    if (out->size() > limit) status = Z_MEM_ERROR;
  }
  inflateEnd(&z);
  if (out->size() > limit) return ContentDecoding::kTooLarge;
  return status == Z_STREAM_END ? ContentDecoding::kDone : ContentDecoding::kCorrupt;
}

}  // namespace

ContentDecoding DecodeContent(const std::string& coding, size_t limit, std::string* body) {
  const std::string name = Lower(coding);
  if (name.empty() || name == "identity") return ContentDecoding::kDone;
  std::string decoded;
  ContentDecoding result = ContentDecoding::kUnknownCoding;
  if (name == "gzip" || name == "x-gzip") {
    result = Inflate(*body, 15 + 32, limit, &decoded);
  } else if (name == "deflate") {
    result = Inflate(*body, 15 + 32, limit, &decoded);
    if (result == ContentDecoding::kCorrupt) {
      decoded.clear();
      result = Inflate(*body, -15, limit, &decoded);
    }
  }
  if (result == ContentDecoding::kDone) body->swap(decoded);
  return result;
}

}  // namespace gw::bridge
