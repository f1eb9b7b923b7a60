#include "host/base64.h"

#include <fstream>
#include <iterator>

namespace gwhost {
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

constexpr int kFileError = static_cast<int>(0x80070002u);  // file not found
constexpr int kWriteError = static_cast<int>(0x8007001Du);  // write fault
constexpr int kBadData = static_cast<int>(0x8007000Du);     // invalid data

// Replaces the file's content. The output is mostly a temporary file that
// was handed out empty; such a file is written as it stands, since
// truncating even an empty file makes ext4 flush it to disk on close.
bool WriteWhole(const char* path, const std::string& data) {
  std::ifstream probe(path, std::ios::binary | std::ios::ate);
  const bool empty = probe && probe.tellg() == 0;
  probe.close();
  std::ofstream out(path, std::ios::binary | std::ios::out | (empty ? std::ios::in : std::ios::trunc));
  return out && out.write(data.data(), static_cast<std::streamsize>(data.size())) && (out.close(), !out.fail());
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

int ConvertFileBase64(const char* output, const char* input, int encode) {
  if (output == nullptr || input == nullptr) return kFileError;
  std::ifstream in(input, std::ios::binary);
  if (!in) return kFileError;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string converted;
  if (encode == 1) {
    converted = EncodeBase64(data);
  } else if (!DecodeBase64(data, &converted)) {
    return kBadData;
  }
  return WriteWhole(output, converted) ? 0 : kWriteError;
}

}  // namespace gwhost
