#include "bridge/reading/text_cells.h"

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

bool TryParseDate(const std::string& text, Date* date) {
  std::string_view parts[3];
  if (!SplitInto(text, '/', parts, 3)) return false;
  date->year = SmallNumber(parts[0], 4);
  date->month = SmallNumber(parts[1], 2);
  date->day = SmallNumber(parts[2], 2);
  return date->year >= 1900 && date->month >= 1 && date->month <= 12 && date->day >= 1 &&
         date->day <= DaysInMonth(date->year, date->month);
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

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    Line line;
    line.ended = end != std::string::npos;
    if (!line.ended) end = text.size();
    line.number = lines.size() + 1;
    line.text = Trim(std::string_view(text).substr(start, end - start));
    size_t cell = 0;
    do {
      size_t comma = line.text.find(',', cell);
      if (comma == std::string::npos) comma = line.text.size();
      line.cells.push_back(Trim(std::string_view(line.text).substr(cell, comma - cell)));
      cell = comma + 1;
    } while (cell <= line.text.size());
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
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

bool IsMultibyteUtf8(std::string_view bytes) {
  bool multibyte = false;
  for (size_t i = 0; i < bytes.size();) {
    auto c = static_cast<unsigned char>(bytes[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    multibyte = multibyte || length > 1;
    i += length;
  }
  return multibyte;
}

Date ParseDate(const std::string& text, const std::string& where) {
  Date date;
  if (!TryParseDate(text, &date)) Reject(where + ": '" + text + "' is not a date Y/M/D");
  return date;
}

bool LooksLikeDate(const std::string& text) {
  Date date;
  return TryParseDate(text, &date);
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
