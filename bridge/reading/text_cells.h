// The small pieces the operator-file reader is made of: lines and cells of
// decoded CSV text, and the strict readers of its dates, times and figures.
// Each reader rejects what it cannot read whole, by throwing FileRejected
// with a reason that says where; nothing is guessed or read halfway.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gw::bridge {

// Raised by the readers below and caught at the file reader's boundary, so
// that no path can hand back a half-filled result. `reason` is the log's
// line; `said` is the refusal in a few Japanese words for the status page,
// given by the part of the reader that met it: a reader function ends in
// `catch (FileRejected& r) { throw r.Said("..."); }`, so that none of its
// Reject calls has to name it, and one nearer to the cause that said it
// already keeps its words.
struct FileRejected {
  std::string reason;
  const char* said = nullptr;

  FileRejected& Said(const char* words) {
    if (said == nullptr) said = words;
    return *this;
  }
};

[[noreturn]] void Reject(std::string reason);

struct Line {
  size_t number = 0;                // counted from 1, for reasons
  std::vector<std::string> cells;   // as SplitCells gives them; never empty
  bool ended = false;               // a line break followed it
};

// The cells of one line of text (a CR at its end dropped, so CRLF and LF
// files read alike): split at commas, blanks around each trimmed. A field in
// double quotes, as a spreadsheet program saves every field, is its text
// between them with each doubled quote read as one (RFC 4180), so "1,234"
// stays one cell; a quote left open or text after a closing quote is
// refused, naming line `number`.
std::vector<std::string> SplitCells(std::string_view text, size_t number);

std::string Trim(std::string_view text);
bool Contains(const std::string& text, const char* part);
bool EndsWith(const std::string& text, const char* tail);

// The start of an HTML or XML document, as error pages are.
bool LooksLikeMarkup(std::string_view bytes);
// Valid UTF-8 holding at least one multi-byte character.
bool IsMultibyteUtf8(std::string_view bytes);
// Valid UTF-8, whatever it holds.
bool IsUtf8(std::string_view bytes);

struct Date {
  int year = 0, month = 0, day = 0;
  bool operator==(const Date& o) const { return year == o.year && month == o.month && day == o.day; }
};
struct TimeOfDay {
  int hour = 0, minute = 0;
};

// `Y/M/D`, a real calendar day. `where` names the place for a reason.
Date ParseDate(const std::string& text, const std::string& where);
// Digits in the shape Y/M/D, a real day or not: a row of a table that
// ParseDate then reads, so that 2026/2/29 is refused as "not a date".
bool LooksLikeDate(const std::string& text);
// `H:MM`, 0:00 to 23:59.
TimeOfDay ParseTimeOfDay(const std::string& text, const std::string& where);
// `H:00`: the hour of an hourly row.
int ParseHourTime(const std::string& text, const std::string& where);
// The hour before the first ':' of `text` (`18:00～19:00` gives 18), 0 to
// 23; -1 when it has none.
int LeadingHour(const std::string& text);

// A figure in 万kW: decimal digits only, at most nine of them.
int32_t ParseFigure(const std::string& text, const std::string& where);
// A percentage: digits with an optional decimal fraction.
double ParsePercent(const std::string& text, const std::string& where);

}  // namespace gw::bridge
