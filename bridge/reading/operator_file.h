// Reading the grid operator's published file of the day: a Shift_JIS CSV
// with a stamp line, the day's head blocks, the hourly table and more tables
// after it. Everything is found by its name, never by its position, because
// the operators' files differ a little from area to area and from year to
// year, and a misread figure would be served to every plug-in as the truth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/reading/areas.h"
#include "bridge/reading/figures.h"

namespace gw::bridge {

// A day's file is about 30 KB; anything near this size is something else.
constexpr size_t kMaxOperatorFileBytes = 2 * 1024 * 1024;

struct OperatorFile {
  DayFigures day;
  // Absent before the day's first actual, just after midnight: the file is
  // sound, there is simply nothing to report yet.
  std::optional<Reading> reading;
  // The stamp line's moment, seconds since 1970 (DayFigures::updated as a
  // number): always of the table's day, or of the next day's first three
  // hours, when the operators still write the old day's file.
  int64_t stamp = 0;
};

// Reads the file's bytes (CP932, or UTF-8 after a byte-order mark; CRLF or
// LF line ends; fields bare or in double quotes) as a file of `area`, whose
// size bounds its figures. A file is taken whole or not at all: on anything
// doubtful this returns nothing and puts a one-line reason, naming the rule,
// the figures and where, into `reason`, and into `said` (if given) the same
// refusal in a few Japanese words, as the status page tells it.
std::optional<OperatorFile> TryReadOperatorFile(std::string_view bytes, const Area& area, std::string* reason,
                                                std::string* said = nullptr);

}  // namespace gw::bridge
