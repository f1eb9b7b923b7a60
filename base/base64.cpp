#include "base/base64.h"

namespace gw {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 76;

int Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() / 3 * 4 + bytes.size() / 57 * 2 + 8);
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    column += 4;
    if (column == kLineLength && i + 3 < bytes.size()) {
      out += "\r\n";
      column = 0;
    }
  }
  if (!out.empty()) out += "\r\n";
  return out;
}

bool DecodeBase64(const std::string& text, std::string* bytes) {
  bytes->clear();
  unsigned acc = 0;
  int bits = 0, count = 0;
  for (unsigned char c : text) {
    if (c == '=') break;
    int v = Value(c);
    if (v < 0) continue;
    acc = (acc << 6) | static_cast<unsigned>(v);
    bits += 6;
    ++count;
    if (bits >= 8) {
      bits -= 8;
      bytes->push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return count % 4 != 1;
}

}  // namespace gw
