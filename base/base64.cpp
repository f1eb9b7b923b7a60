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

namespace {

// The group's padding: 0, 1 or 2 "=" at its end and nowhere else; -1 when
// misplaced.
int Padding(std::string_view group) {
  if (group[3] != '=') return group.find('=') == std::string_view::npos ? 0 : -1;
  if (group[2] != '=') return group[0] == '=' || group[1] == '=' ? -1 : 1;
  return group[0] == '=' || group[1] == '=' ? -1 : 2;
}

// Four characters into up to three bytes; false on a character outside the
// alphabet or padding bits that are not zero.
bool DecodeGroup(std::string_view group, int padding, std::string* bytes) {
  unsigned acc = 0;
  for (int i = 0; i < 4 - padding; ++i) {
    int v = Value(static_cast<unsigned char>(group[static_cast<size_t>(i)]));
    if (v < 0) return false;
    acc |= static_cast<unsigned>(v) << (18 - 6 * i);
  }
  if ((padding == 1 && (acc & 0xFF) != 0) || (padding == 2 && (acc & 0xFFFF) != 0)) return false;
  for (int i = 0; i < 3 - padding; ++i) bytes->push_back(static_cast<char>((acc >> (16 - 8 * i)) & 0xFF));
  return true;
}

}  // namespace

bool DecodeBase64Strict(std::string_view text, std::string* bytes) {
  bytes->clear();
  if (text.size() % 4 != 0) return false;
  for (size_t at = 0; at < text.size(); at += 4) {
    const std::string_view group = text.substr(at, 4);
    const int padding = Padding(group);
    const bool last = at + 4 == text.size();
    if (padding < 0 || (padding > 0 && !last) || !DecodeGroup(group, padding, bytes)) {
      bytes->clear();
      return false;
    }
  }
  return true;
}

}  // namespace gw
