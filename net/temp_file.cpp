#include "net/temp_file.h"

#include <utility>

#include "net/file_stream.h"
#include "hostapi/host_calls.h"

namespace gw {

TempFile::TempFile(WideView extension)
    : narrowPath_(host::GetTempFileName(WideToNarrow(extension.empty() ? WideView(u"AAA") : extension))) {
  path_ = NarrowToWide(narrowPath_);
}

TempFile::~TempFile() { Delete(); }

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::move(other.path_)),
      narrowPath_(std::exchange(other.narrowPath_, std::string())),
      text_(std::move(other.text_)),
      bytes_(std::move(other.bytes_)),
      hasBytes_(std::exchange(other.hasBytes_, false)),
      length_(std::exchange(other.length_, 0)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Delete();
    path_ = std::move(other.path_);
    narrowPath_ = std::exchange(other.narrowPath_, std::string());
    text_ = std::move(other.text_);
    bytes_ = std::move(other.bytes_);
    hasBytes_ = std::exchange(other.hasBytes_, false);
    length_ = std::exchange(other.length_, 0);
  }
  return *this;
}

void TempFile::Delete() noexcept {
  // A moved-from object owns no file any more.
  if (!narrowPath_.empty()) DeleteFileNarrow(narrowPath_);
}

const std::vector<unsigned char>& TempFile::ReadBytes() {
  HResult hr;
  auto stream = OpenFileForReading(path_, &hr);
  if (!stream) return bytes_;
  uint64_t size = 0;
  stream->Size(&size);
  std::vector<unsigned char> bytes(static_cast<uint32_t>(size));
  uint32_t done = 0, got = 0;
  while (done < bytes.size() && Succeeded(stream->Read(bytes.data() + done, static_cast<uint32_t>(bytes.size()) - done, &got)) && got)
    done += got;
  bytes_ = std::move(bytes);
  hasBytes_ = true;
  length_ = static_cast<uint32_t>(bytes_.size());
  return bytes_;
}

WideString TempFile::ReadText() {
  HResult hr;
  auto stream = OpenFileForReading(path_, &hr);
  if (stream) {
    std::string narrow;
    char buffer[64 * 1024];
    uint32_t got = 0;
    // A failing read keeps what came before it.
    while (Succeeded(stream->Read(buffer, sizeof buffer, &got)) && got > 0) {
      for (uint32_t i = 0; i < got; ++i) {
        if (buffer[i] != '\0') narrow.push_back(buffer[i]);
      }
    }
    text_ = NarrowToWide(narrow);
  }
  length_ = static_cast<uint32_t>(text_.size());
  return text_;
}

}  // namespace gw
