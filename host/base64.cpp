#include "host/base64.h"

#include <fstream>
#include <iterator>

namespace gwhost {
namespace {

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
