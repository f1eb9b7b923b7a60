// The lines of an operator's file, found once over its bytes and decoded one
// at a time when the reader asks for one. Only the few lines the reader
// looks at (the head blocks and the hourly table) ever exist as text: a
// file of a million blank lines or of two million cells costs their count,
// never a copy of each. Lines, their length and their cells are capped well
// beyond any real file's, and a file beyond a cap is refused with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/reading/text_cells.h"

namespace gw::bridge {

// A day's file has about 350 lines of at most 200 bytes and 10 cells.
constexpr size_t kMaxFileLines = 10000;
constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxLineCells = 256;

enum class FileEncoding { kCp932, kUtf8 };

class FileLines {
 public:
  // `bytes` must outlive this object. Refuses (throws FileRejected) a file
  // beyond a cap or with bytes its encoding cannot decode, naming the line.
  FileLines(std::string_view bytes, FileEncoding encoding);

  size_t size() const { return spans_.size(); }
  // The line at `index` (counted from 0), decoded to UTF-8 and split into
  // cells.
  Line operator[](size_t index) const;

 private:
  struct Span {
    uint32_t start, length;
  };
  std::string Decode(size_t index) const;

  std::string_view bytes_;
  FileEncoding encoding_;
  std::vector<Span> spans_;
};

}  // namespace gw::bridge
