#include "bridge/reading/file_lines.h"

#include <algorithm>

#include "base/codepage.h"

namespace gw::bridge {
namespace {

std::string At(size_t index) { return "line " + std::to_string(index + 1); }

// Counted before anything else, so that a file of a million lines is refused
// before a single span is kept.
size_t CountLines(std::string_view bytes) {
  size_t lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  return lines + (bytes.empty() || bytes.back() == '\n' ? 0 : 1);
}

}  // namespace

FileLines::FileLines(std::string_view bytes, FileEncoding encoding) : bytes_(bytes), encoding_(encoding) {
  const size_t count = CountLines(bytes);
  if (count > kMaxFileLines) {
    Reject("the file has " + std::to_string(count) + " lines, more than the " + std::to_string(kMaxFileLines) +
           " any day's file needs (about 350)");
  }
  spans_.reserve(count);
  for (size_t start = 0; start < bytes.size();) {
    size_t end = std::min(bytes.find('\n', start), bytes.size());
    const std::string_view line = bytes.substr(start, end - start);
    if (line.size() > kMaxLineBytes) {
      Reject(At(spans_.size()) + " has " + std::to_string(line.size()) + " bytes, more than the " +
             std::to_string(kMaxLineBytes) + " any line of a day's file needs");
    }
    // Commas and line breaks never occur inside a CP932 or UTF-8 character,
    // so the bytes can be counted before decoding.
    if (static_cast<size_t>(std::count(line.begin(), line.end(), ',')) >= kMaxLineCells) {
      Reject(At(spans_.size()) + " has more than " + std::to_string(kMaxLineCells) +
             " cells, where a day's file has about 10");
    }
    spans_.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(line.size())});
    Decode(spans_.size() - 1);  // every line must decode, whether or not it is read
    start = end + 1;
  }
}

std::string FileLines::Decode(size_t index) const try {
  const std::string_view bytes = bytes_.substr(spans_[index].start, spans_[index].length);
  if (encoding_ == FileEncoding::kUtf8) return std::string(bytes);
  const WideString wide = Cp932ToWide(bytes);
  if (wide.find(u'\uFFFD') != WideString::npos) {
    Reject(At(index) + " holds bytes that are not Shift_JIS (CP932)");
  }
  return WideToUtf8(wide);
} catch (FileRejected& rejected) {
  throw rejected.Said("ファイルの形が読めません（Shift_JIS でない文字があります）");
}

Line FileLines::operator[](size_t index) const {
  const Span span = spans_[index];
  Line line;
  line.number = index + 1;
  line.ended = span.start + span.length < bytes_.size();
  line.cells = SplitCells(Decode(index), line.number);
  return line;
}

}  // namespace gw::bridge
