#include "bridge/reading/text_cells.h"

#include <algorithm>
#include <cstdlib>

namespace gw::bridge {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// A small non-negative number of at most `maxDigits` digits, or -1.
int SmallNumber(std::string_view text, size_t maxDigits) {
  if (!AllDigits(text) || text.size() > maxDigits) return -1;
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Splits `text` at `separator` into exactly `count` parts, or returns false.
bool SplitInto(std::string_view text, char separator, std::string_view* parts, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    size_t end = i + 1 < count ? text.find(separator) : text.size();
    if (end == std::string_view::npos) return false;
    parts[i] = text.substr(0, end);
    text.remove_prefix(end == text.size() ? end : end + 1);
  }
  return parts[count - 1].find(separator) == std::string_view::npos;
}

// Digits in the shape Y/M/D, read into `date` whether or not they name a day.
bool ReadDateShape(const std::string& text, Date* date) {
  std::string_view parts[3];
  if (!SplitInto(text, '/', parts, 3)) return false;
  date->year = SmallNumber(parts[0], 4);
  date->month = SmallNumber(parts[1], 2);
  date->day = SmallNumber(parts[2], 2);
  return date->year >= 0 && date->month >= 0 && date->day >= 0;
}

bool TryParseDate(const std::string& text, Date* date) {
  return ReadDateShape(text, date) && date->year >= 1900 && date->month >= 1 && date->month <= 12 &&
         date->day >= 1 && date->day <= DaysInMonth(date->year, date->month);
}

}  // namespace

void Reject(std::string reason) { throw FileRejected{std::move(reason)}; }

std::string Trim(std::string_view text) {
  const char* blanks = " \t\r";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return std::string(text.substr(first, last - first + 1));
}

namespace {

// One field from `*at` up to its comma or the end; moves `*at` past the comma.
std::string NextCell(std::string_view text, size_t* at, const std::string& where) {
  const size_t start = text.find_first_not_of(" \t", *at);
  if (start == std::string_view::npos || text[start] != '"') {
    size_t comma = std::min(text.find(',', *at), text.size());
    std::string cell = Trim(text.substr(*at, comma - *at));
    *at = comma + 1;
    return cell;
  }
  std::string cell;
  size_t i = start + 1;
  for (;; ++i) {
    if (i >= text.size()) Reject(where + ": a field's double quote is never closed");
    if (text[i] != '"') {
      cell.push_back(text[i]);
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      cell.push_back('"');
      ++i;
    } else {
      break;
    }
  }
  const size_t comma = std::min(text.find(',', i + 1), text.size());
  if (!Trim(text.substr(i + 1, comma - i - 1)).empty()) Reject(where + ": text after a field's closing quote");
  *at = comma + 1;
  return Trim(cell);
}

}  // namespace

std::vector<std::string> SplitCells(std::string_view text, size_t number) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  const std::string where = "line " + std::to_string(number);
  std::vector<std::string> cells;
  size_t at = 0;
  do {
    cells.push_back(NextCell(text, &at, where));
  } while (at <= text.size());
  return cells;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool EndsWith(const std::string& text, const char* tail) {
  std::string_view t(tail);
  return text.size() >= t.size() && text.compare(text.size() - t.size(), t.size(), t) == 0;
}

bool LooksLikeMarkup(std::string_view bytes) {
  // A UTF-8 byte order mark or blanks may come first.
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  size_t first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '<';
}

namespace {

// Whether `bytes` are valid UTF-8, and whether any character takes more than
// one byte.
struct Utf8Scan {
  bool valid = true, multibyte = false;
};

Utf8Scan ScanUtf8(std::string_view bytes) {
  Utf8Scan scan;
  for (size_t i = 0; i < bytes.size();) {
    auto c = static_cast<unsigned char>(bytes[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return {false, scan.multibyte};
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return {false, scan.multibyte};
    }
    scan.multibyte = scan.multibyte || length > 1;
    i += length;
  }
  return scan;
}

}  // namespace

bool IsMultibyteUtf8(std::string_view bytes) {
  const Utf8Scan scan = ScanUtf8(bytes);
  return scan.valid && scan.multibyte;
}

bool IsUtf8(std::string_view bytes) { return ScanUtf8(bytes).valid; }

Date ParseDate(const std::string& text, const std::string& where) {
  Date date;
  if (!TryParseDate(text, &date)) Reject(where + ": '" + text + "' is not a date Y/M/D");
  return date;
}

bool LooksLikeDate(const std::string& text) {
  Date date;
  return ReadDateShape(text, &date);
}

TimeOfDay ParseTimeOfDay(const std::string& text, const std::string& where) {
  std::string_view parts[2];
  TimeOfDay time;
  bool ok = SplitInto(text, ':', parts, 2) && parts[1].size() == 2;
  if (ok) {
    time.hour = SmallNumber(parts[0], 2);
    time.minute = SmallNumber(parts[1], 2);
  }
  if (!ok || time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59) {
    Reject(where + ": '" + text + "' is not a time H:MM");
  }
  return time;
}

int ParseHourTime(const std::string& text, const std::string& where) {
  TimeOfDay time = ParseTimeOfDay(text, where);
  if (time.minute != 0) Reject(where + ": '" + text + "' is not a whole hour");
  return time.hour;
}

int LeadingHour(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return -1;
  const int hour = SmallNumber(std::string_view(text).substr(0, colon), 2);
  return hour < 24 ? hour : -1;
}

int32_t ParseFigure(const std::string& text, const std::string& where) {
  if (!text.empty() && text[0] == '-' && AllDigits(std::string_view(text).substr(1))) {
    Reject(where + ": the figure " + text + " is negative");
  }
  if (!AllDigits(text)) Reject(where + ": '" + text + "' is not a number");
  if (text.size() > 9) Reject(where + ": the figure " + text + " is out of range");
  return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

double ParsePercent(const std::string& text, const std::string& where) {
  size_t point = text.find('.');
  std::string_view whole = std::string_view(text).substr(0, point);
  std::string_view fraction = point == std::string::npos ? "0" : std::string_view(text).substr(point + 1);
  if (!AllDigits(whole) || !AllDigits(fraction) || whole.size() > 6 || fraction.size() > 6) {
    if (!text.empty() && text[0] == '-') Reject(where + ": the percentage " + text + " is negative");
    Reject(where + ": '" + text + "' is not a percentage");
  }
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace gw::bridge
