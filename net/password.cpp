#include "net/password.h"

#include <vector>

#include "net/file_stream.h"
#include "net/temp_file.h"
#include "hostapi/host_calls.h"

namespace gw {
namespace {

bool WriteFile(const TempFile& file, const std::string& bytes) {
  HResult hr;
  auto stream = CreateFileForWriting(file.Path(), &hr);
  return stream && Succeeded(stream->Write(bytes.data(), static_cast<uint32_t>(bytes.size())));
}

std::string Scrambled(const std::string& bytes) {
  std::string out(bytes);
  for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) ^ kPasswordKey);
  return out;
}

WideString Encode(const std::string& plain, TempFile& input, TempFile& output) {
  // The text ends at its first zero byte; a byte that the key turns into
  // zero is still written, since the file is written by count.
  std::string bytes = plain.substr(0, plain.find('\0'));
  if (!WriteFile(input, Scrambled(bytes))) return {};
  host::B64Convert(output.NarrowPath(), input.NarrowPath(), kPasswordEncode);
  return output.ReadText();
}

WideString Decode(const std::string& stored, int32_t mode, TempFile& input, TempFile& output,
                  TempFile& result) {
  if (!WriteFile(input, stored)) return {};
  host::B64Convert(output.NarrowPath(), input.NarrowPath(), mode);
  const auto& bytes = output.ReadBytes();
  if (!WriteFile(result, Scrambled(std::string(bytes.begin(), bytes.end())))) return {};
  return result.ReadText();
}

}  // namespace

WideString ConvertPassword(WideView text, int32_t mode) noexcept {
  try {
    TempFile input(u"ini"), output(u"ini"), result(u"ini");
    if (text.empty()) return {};
    std::string narrow = WideToNarrow(text);
    return mode == kPasswordEncode ? Encode(narrow, input, output) : Decode(narrow, mode, input, output, result);
  } catch (...) {
    return {};
  }
}

}  // namespace gw
