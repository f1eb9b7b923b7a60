#include "bridge/reading/operator_file.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/codepage.h"
#include "bridge/reading/text_cells.h"

namespace gw::bridge {
namespace {

// Names inside the file, in UTF-8 as the decoded text is.
constexpr char kUpdateWord[] = "UPDATE";
constexpr char kPeakSupply[] = "ピーク時供給力";
constexpr char kForecastPeak[] = "予想最大電力";
constexpr char kRate[] = "率";  // 使用率ピーク時供給力, 予備率ピーク時供給力
constexpr char kActual[] = "実績";
constexpr char kForecast[] = "予測";
constexpr char kPercent[] = "使用率";
constexpr char kSupply[] = "供給力";

// A CP932 lead byte not followed by a trail byte. Checked apart from the
// conversion: iconv marks it U+FFFD, but Windows puts its default
// character (U+30FB) in its place, which a file may hold as well.
bool HasBrokenDoubleByte(std::string_view bytes) {
  auto in = [](unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (!in(c, 0x81, 0x9F) && !in(c, 0xE0, 0xFC)) continue;
    if (i + 1 == bytes.size()) return true;
    const auto trail = static_cast<unsigned char>(bytes[++i]);
    if (!in(trail, 0x40, 0x7E) && !in(trail, 0x80, 0xFC)) return true;
  }
  return false;
}

// The operator's file is CP932. A UTF-8 file decodes as CP932 without a
// single error more often than not, into nonsense, so it is told apart first.
std::string DecodeFile(std::string_view bytes) {
  if (bytes.empty()) Reject("the file is empty");
  if (bytes.size() > kMaxOperatorFileBytes) {
    Reject("the file has " + std::to_string(bytes.size()) + " bytes, more than the 2 MiB any day's file needs");
  }
  if (LooksLikeMarkup(bytes)) Reject("the file is an HTML page (an error page?), not the operator's CSV");
  if (bytes.find('\0') != std::string_view::npos) Reject("the file holds zero bytes: not a text file");
  if (IsMultibyteUtf8(bytes)) Reject("the file is UTF-8, not Shift_JIS (CP932) as the operator publishes it");
  WideString wide = Cp932ToWide(bytes);
  if (HasBrokenDoubleByte(bytes) || wide.find(u'\uFFFD') != WideString::npos) {
    Reject("the file holds bytes that are not Shift_JIS (CP932)");
  }
  return WideToUtf8(wide);
}

// Where the hourly table's figures sit, found by header names.
struct Columns {
  int actual = -1, forecast = -1, percent = -1, supply = -1;
  size_t needed = 2;  // cells a row must have to reach every found column
};

// The first line starting DATE,TIME; the five-minute table further down
// starts the same way and is never the one taken.
size_t FindHourlyTable(const std::vector<Line>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].cells.size() >= 2 && lines[i].cells[0] == "DATE" && lines[i].cells[1] == "TIME") return i;
  }
  Reject("no hourly table: no line starts with DATE,TIME");
}

// Stable parts of the names rather than whole names, so that other areas'
// files (供給力想定値, a 需要 prefix) read alike. 使用率 is tried first: a
// name holding it is the percentage, whatever else it holds.
Columns FindColumns(const Line& header) {
  Columns c;
  for (size_t i = 2; i < header.cells.size(); ++i) {
    const std::string& name = header.cells[i];
    int* slot = Contains(name, kPercent)    ? &c.percent
                : Contains(name, kActual)   ? &c.actual
                : Contains(name, kForecast) ? &c.forecast
                : Contains(name, kSupply)   ? &c.supply
                                            : nullptr;
    if (slot == nullptr || *slot >= 0) continue;
    *slot = static_cast<int>(i);
    c.needed = i + 1;
  }
  if (c.actual < 0) Reject("the hourly table (line " + std::to_string(header.number) + ") has no 実績 column");
  return c;
}

std::string Where(const Line& line, const std::string& column) {
  return "line " + std::to_string(line.number) + ", column " + column;
}

// A figure of a row: empty means "not given", and reads as `absent`.
int32_t RowFigure(const Line& row, const Line& header, int column, int32_t absent) {
  if (column < 0) return absent;
  const std::string& cell = row.cells[static_cast<size_t>(column)];
  if (cell.empty()) return absent;
  return ParseFigure(cell, Where(row, header.cells[static_cast<size_t>(column)]));
}

// The file's percentage may carry decimals in some areas' files.
double RowPercent(const Line& row, const Line& header, int column) {
  if (column < 0 || row.cells[static_cast<size_t>(column)].empty()) return -1;
  return ParsePercent(row.cells[static_cast<size_t>(column)],
                      Where(row, header.cells[static_cast<size_t>(column)]));
}

struct HourlyTable {
  Date date;
  std::array<HourFigures, 24> hours{};
  std::array<double, 24> percents{};  // the file's own, unrounded; -1 if none
  Columns columns;
};

void ReadHourRow(const Line& row, const Line& header, int hour, HourlyTable* table) {
  const Columns& c = table->columns;
  const std::string at = "line " + std::to_string(row.number);
  if (row.cells.size() < c.needed) {
    Reject(at + " has " + std::to_string(row.cells.size()) + " cells where the hourly table needs " +
           std::to_string(c.needed) + " (a cut file?)");
  }
  // A figure written with a thousands separator would split into two cells
  // and read as its first digits; surplus cells must be empty.
  for (size_t i = header.cells.size(); i < row.cells.size(); ++i) {
    if (!row.cells[i].empty()) {
      Reject(at + " has more cells than the hourly table's header names (a figure with a comma?)");
    }
  }
  Date date = ParseDate(row.cells[0], at);
  if (hour == 0) table->date = date;
  if (!(date == table->date)) Reject(at + " is of another day than the hourly table's first row");
  if (ParseHourTime(row.cells[1], at) != hour) {
    Reject(at + " should be the hour " + std::to_string(hour) + ":00, not " + row.cells[1]);
  }
  HourFigures& h = table->hours[static_cast<size_t>(hour)];
  h.actual = RowFigure(row, header, c.actual, 0);
  h.forecast = RowFigure(row, header, c.forecast, 0);
  h.capacity = RowFigure(row, header, c.supply, 0);
  double percent = RowPercent(row, header, c.percent);
  table->percents[static_cast<size_t>(hour)] = percent;
  h.percent = percent < 0 ? -1 : static_cast<int32_t>(percent);
}

// Exactly 24 rows, one per hour, each ended by a line break: a file cut in
// the last row's figures would otherwise pass with a shortened number.
HourlyTable ReadHourlyTable(const std::vector<Line>& lines, size_t headerIndex) {
  HourlyTable table;
  const Line& header = lines[headerIndex];
  table.columns = FindColumns(header);
  size_t rows = 0;
  while (headerIndex + 1 + rows < lines.size() && LooksLikeDate(lines[headerIndex + 1 + rows].cells[0])) {
    ++rows;
  }
  if (rows != 24) {
    Reject("the hourly table (line " + std::to_string(header.number) + ") has " + std::to_string(rows) +
           " rows, not 24");
  }
  for (int hour = 0; hour < 24; ++hour) ReadHourRow(lines[headerIndex + 1 + hour], header, hour, &table);
  if (!lines[headerIndex + 24].ended) Reject("the file ends inside the hourly table's last row (a cut file?)");
  return table;
}

// `YYYY/M/D H:MM UPDATE`, the time the operator last wrote the file.
std::string ReadStamp(const std::vector<Line>& lines, size_t end) {
  for (size_t i = 0; i < end; ++i) {
    const std::string& text = lines[i].text;
    if (!EndsWith(text, kUpdateWord)) continue;
    const std::string at = "line " + std::to_string(lines[i].number);
    size_t space = text.find(' ');
    if (space == std::string::npos) Reject(at + ": the stamp line is not 'Y/M/D H:MM UPDATE'");
    Date date = ParseDate(text.substr(0, space), at);
    std::string rest = text.substr(space + 1, text.size() - space - 1 - (sizeof kUpdateWord - 1));
    TimeOfDay time = ParseTimeOfDay(Trim(rest), at);
    char iso[40];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:00+09:00", date.year, date.month, date.day, time.hour,
                  time.minute);
    return iso;
  }
  Reject("no stamp line 'Y/M/D H:MM UPDATE' before the hourly table");
}

// A head block is a header line and a value line; its figure is the value
// line's first cell. Only blocks before the hourly table are today's: the
// same blocks follow later for tomorrow, with other figures.
void ReadHeadBlocks(const std::vector<Line>& lines, size_t end, DayFigures* day) {
  bool peakFound = false, forecastFound = false;
  for (size_t i = 0; i + 1 < end; ++i) {
    const std::string& name = lines[i].cells[0];
    if (Contains(name, kRate)) continue;
    bool peak = !peakFound && Contains(name, kPeakSupply);
    bool forecast = !forecastFound && Contains(name, kForecastPeak);
    if (!peak && !forecast) continue;
    int32_t value = ParseFigure(lines[i + 1].cells[0], Where(lines[i + 1], name));
    (peak ? day->peakCapacity : day->forecastPeak) = value;
    (peak ? peakFound : forecastFound) = true;
  }
}

// The latest hour whose actual holds a positive number; an empty cell or 0
// is an hour still to come.
std::optional<Reading> LatestReading(const HourlyTable& table, const DayFigures& day) {
  for (int hour = 23; hour >= 0; --hour) {
    const HourFigures& h = table.hours[static_cast<size_t>(hour)];
    if (h.actual <= 0) continue;
    Reading r;
    r.usage = h.actual;
    r.capacity = h.capacity > 0 ? h.capacity : day.peakCapacity;
    if (r.capacity <= 0) Reject("no supply capacity for " + std::to_string(hour) + "時, nor a ピーク時供給力 block");
    r.year = day.year;
    r.month = day.month;
    r.day = day.day;
    r.hour = hour;
    r.percent = static_cast<uint32_t>(static_cast<int64_t>(r.usage) * 100 / r.capacity);
    r.updated = day.updated;
    double own = table.percents[static_cast<size_t>(hour)];
    double computed = static_cast<double>(r.usage) * 100.0 / r.capacity;
    if (own >= 0 && std::fabs(own - computed) > 1.0) {
      char text[160];
      std::snprintf(text, sizeof text, "the file's 使用率 for %d時 (%g%%) disagrees with %d/%d = %.1f%%: misread", hour,
                    own, r.usage, r.capacity, computed);
      Reject(text);
    }
    return r;
  }
  return std::nullopt;
}

OperatorFile ReadFile(std::string_view bytes) {
  std::vector<Line> lines = SplitLines(DecodeFile(bytes));
  size_t header = FindHourlyTable(lines);
  HourlyTable table = ReadHourlyTable(lines, header);
  OperatorFile file;
  DayFigures& day = file.day;
  day.year = table.date.year;
  day.month = table.date.month;
  day.day = table.date.day;
  day.updated = ReadStamp(lines, header);
  ReadHeadBlocks(lines, header, &day);
  day.hours = table.hours;
  file.reading = LatestReading(table, day);
  return file;
}

}  // namespace

std::optional<OperatorFile> TryReadOperatorFile(std::string_view bytes, std::string* reason) {
  try {
    return ReadFile(bytes);
  } catch (const FileRejected& rejected) {
    *reason = rejected.reason;
  } catch (const std::bad_alloc&) {
    *reason = "out of memory while reading the file";
  }
  return std::nullopt;
}

}  // namespace gw::bridge
