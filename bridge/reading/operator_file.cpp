#include "bridge/reading/operator_file.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "bridge/reading/file_lines.h"
#include "bridge/reading/figure_limits.h"
#include "bridge/reading/forecasts.h"
#include "bridge/reading/japan_time.h"
#include "bridge/reading/names.h"
#include "bridge/reading/text_cells.h"

namespace gw::bridge {
namespace {

// Names inside the file, in UTF-8 as the decoded text is.
constexpr char kUpdateWord[] = "UPDATE";
// Head blocks of the same family that are not the day's own figures: the
// supply at the hour of the highest usage or the lowest reserve, and
// tomorrow's blocks where an area writes them before the table.
constexpr const char* kOtherHeadBlocks[] = {"使用率", "予備率", "翌日"};
constexpr char kActual[] = "実績";
constexpr char kForecast[] = "予測";
constexpr char kForecastToo[] = "予想";
// The operators go on writing a day's file after its midnight: its last
// hour at about 0:05, and Kansai's archived day files carry a stamp of
// about 1:10 the next day. A stamp up to this many hours past the day's end
// is the file's own; a later one is not.
constexpr int kNextDayStampHours = 3;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The operator's file is CP932. A UTF-8 file decodes as CP932 without a
// single error more often than not, into nonsense, so it is told apart first:
// UTF-8 is read only where a byte-order mark says so, as a spreadsheet
// program writes it when it saves the operator's file again.
FileLines OpenFile(std::string_view bytes) try {
  if (bytes.empty()) Reject("the file is empty");
  if (bytes.size() > kMaxOperatorFileBytes) {
    Reject("the file has " + std::to_string(bytes.size()) + " bytes, more than the 2 MiB any day's file needs");
  }
  if (LooksLikeMarkup(bytes)) Reject("the file is an HTML page (an error page?), not the operator's CSV");
  if (bytes.find('\0') != std::string_view::npos) Reject("the file holds zero bytes: not a text file");
  if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
    bytes.remove_prefix(kUtf8Mark.size());
    if (!IsUtf8(bytes)) Reject("the file starts with a UTF-8 byte-order mark but holds bytes that are not UTF-8");
    return FileLines(bytes, FileEncoding::kUtf8);
  }
  if (IsMultibyteUtf8(bytes)) {
    Reject("the file is UTF-8 without a byte-order mark, not Shift_JIS (CP932) as the operator publishes it");
  }
  return FileLines(bytes, FileEncoding::kCp932);
} catch (FileRejected& rejected) {
  throw rejected.Said("届いたものは事業者の CSV ではありません（エラーのページなど）");
}

// Where the hourly table's figures sit, found by header names.
struct Columns {
  int actual = -1, forecast = -1, percent = -1, supply = -1;
  size_t needed = 2;  // cells a row must have to reach every found column
};

// The first line starting DATE,TIME; the five-minute table further down
// starts the same way and is never the one taken.
size_t FindHourlyTable(const FileLines& lines) try {
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto cells = lines[i].cells;
    if (cells.size() >= 2 && NormaliseName(cells[0]) == "DATE" && NormaliseName(cells[1]) == "TIME") return i;
  }
  Reject("no hourly table: no line starts with DATE,TIME");
} catch (FileRejected& rejected) {
  throw rejected.Said("ファイルの形が読めません（時間ごとの表がありません）");
}

// Stable parts of the folded names rather than whole names, so that other
// areas' files (需要実績, 予想値, 供給力想定値) read alike. The order matters:
// a name holding 使用率 is the percentage and one holding 予備率 (Kyushu's
// reserve) is none of ours, whatever else they hold; a name holding 供給力
// is the supply even when it says 予測 too (供給力予測値).
int* ColumnSlot(const std::string& name, Columns* c) {
  if (Contains(name, kPercent)) return &c->percent;
  if (Contains(name, kReserve)) return nullptr;
  if (Contains(name, kSupply)) return &c->supply;
  if (Contains(name, kActual)) return &c->actual;
  if (Contains(name, kForecast) || Contains(name, kForecastToo)) return &c->forecast;
  return nullptr;
}

Columns FindColumns(const Line& header) {
  Columns c;
  for (size_t i = 2; i < header.cells.size(); ++i) {
    int* slot = ColumnSlot(NormaliseName(header.cells[i]), &c);
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
HourlyTable ReadHourlyTable(const FileLines& lines, size_t headerIndex) try {
  HourlyTable table;
  const Line header = lines[headerIndex];
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
} catch (FileRejected& rejected) {
  throw rejected.Said("ファイルの形が読めません（時間ごとの表が崩れています）");
}

// A line whose first cell is the stamp and whose other cells are empty, as a
// spreadsheet program pads it (`2025/12/12 14:57 UPDATE,,,,,`).
bool IsStampLine(const Line& line) {
  if (!EndsWith(line.cells[0], kUpdateWord)) return false;
  for (size_t i = 1; i < line.cells.size(); ++i) {
    if (!line.cells[i].empty()) return false;
  }
  return true;
}

// `YYYY/M/D H:MM UPDATE` (some areas pad: `2022/12/06 08:05`), the time
// the operator last wrote the file, as seconds since 1970.
int64_t ReadStamp(const FileLines& lines, size_t end) try {
  for (size_t i = 0; i < end; ++i) {
    const Line line = lines[i];
    if (!IsStampLine(line)) continue;
    const std::string& text = line.cells[0];
    const std::string at = "line " + std::to_string(line.number);
    size_t space = text.find(' ');
    if (space == std::string::npos) Reject(at + ": the stamp line is not 'Y/M/D H:MM UPDATE'");
    Date date = ParseDate(text.substr(0, space), at);
    std::string rest = text.substr(space + 1, text.size() - space - 1 - (sizeof kUpdateWord - 1));
    TimeOfDay time = ParseTimeOfDay(Trim(rest), at);
    return JapanTimeToUnix(date.year, date.month, date.day, time.hour, time.minute);
  }
  Reject("no stamp line 'Y/M/D H:MM UPDATE' before the hourly table");
} catch (FileRejected& rejected) {
  throw rejected.Said("ファイルの形が読めません（更新時刻の行がないか、読めません）");
}

// The stamp belongs to the table's day, or to the first hours of the next
// day when the operator writes the day's file after midnight. Any other
// stamp would be served as the file's time and, once held, would make every
// correct file look older than it. A stamp ahead of the clock is the
// poller's to refuse: only it knows the time.
void CheckStampDay(int64_t stamp, const Date& table) try {
  const int64_t dayStart = JapanTimeToUnix(table.year, table.month, table.day, 0);
  const int64_t latest = dayStart + (24 + kNextDayStampHours) * 3600;
  if (stamp >= dayStart && stamp <= latest) return;
  Reject("the stamp line (" + UnixToJapanIso(stamp) + ") is not of the hourly table's day " +
         std::to_string(table.year) + "/" + std::to_string(table.month) + "/" + std::to_string(table.day));
} catch (FileRejected& rejected) {
  throw rejected.Said("ファイルの更新時刻が、時間ごとの表の日付と合いません");
}

bool IsOtherHeadBlock(const std::string& name) {
  for (const char* other : kOtherHeadBlocks) {
    if (name.rfind(other, 0) == 0) return true;
  }
  return false;
}

// A head block's figure: the value line's first cell. An unpublished block
// is written as empty cells (`,,,,,`) and reads as 0, "not given".
int32_t HeadFigure(const Line& value, const std::string& name, const Area& area) try {
  const std::string& cell = value.cells[0];
  if (cell.empty()) return 0;
  const std::string where = Where(value, name);
  const int32_t figure = ParseFigure(cell, where);
  if (std::string beyond = FigureOutsideArea(where, figure, area); !beyond.empty()) Reject(beyond);
  return figure;
} catch (FileRejected& rejected) {
  throw rejected.Said("予想最大電力かピーク時供給力の数字がありえません");
}

// The hour a head block's 時間帯 starts, `18:00～19:00` giving 18; -1 when
// the cell is empty or not of that form. Only shown, never computed with,
// so an odd cell costs the hour and not the file.
int32_t HeadHour(const Line& value) { return value.cells.size() < 2 ? -1 : LeadingHour(value.cells[1]); }

// A head block is a header line and a value line. Only blocks before the
// hourly table are today's: the same blocks follow later for tomorrow, with
// other figures. The first block of each kind is the day's, even when it is
// not yet published: a later block of the family is another figure.
void ReadHeadBlocks(const FileLines& lines, size_t end, const Area& area, DayFigures* day) {
  bool peakFound = false, forecastFound = false;
  for (size_t i = 0; i + 1 < end; ++i) {
    const Line line = lines[i];
    const std::string name = NormaliseName(line.cells[0]);
    if (IsOtherHeadBlock(name)) continue;
    bool peak = !peakFound && Contains(name, kPeakSupply);
    bool forecast = !forecastFound && !peak && Contains(name, kForecastPeak);
    if (!peak && !forecast) continue;
    const Line value = lines[i + 1];
    (peak ? day->peakCapacity : day->forecastPeak) = HeadFigure(value, line.cells[0], area);
    if (forecast) day->forecastPeakHour = HeadHour(value);
    (peak ? peakFound : forecastFound) = true;
  }
}

// The supply and the forecast of every hour, to come or past: no blackout
// changes them, and a wrong unit or a misread column shows in them, in the
// hours to come as in the rest. A 0 is a figure not given: a blackout's dark
// hours may have no supply at all. The actuals are not judged here: demand
// may fall to nothing in any hour and come back fast.
void CheckSupplyAndForecasts(const HourlyTable& table, const Area& area) try {
  for (int hour = 0; hour < 24; ++hour) {
    const HourFigures& h = table.hours[static_cast<size_t>(hour)];
    const std::string at = std::to_string(hour) + "時";
    for (int32_t figure : {h.forecast, h.capacity}) {
      if (figure == 0) continue;
      if (std::string beyond = FigureOutsideArea(at, figure, area); !beyond.empty()) Reject(beyond);
    }
  }
} catch (FileRejected& rejected) {
  throw rejected.Said("時間ごとの表の供給力か予測にありえない数字があります");
}

// The hours before the reading's are drawn, never judged: a blackout hour,
// the dark hours after it and the steep hours of a restoration are the
// grid's, however low or sudden. Only an actual no grid can have (above the
// area's bounds, or beyond the limit over its own hour's supply) is left
// out of the graphs, as a figure not given, and costs nothing else. The
// reading's own hour has passed both already.
void LeaveOutImpossibleActuals(const Area& area, std::array<HourFigures, 24>* hours) {
  for (HourFigures& h : *hours) {
    if (h.actual > AreaCeiling(area) || !UsageBeyondCapacity({}, h.actual, h.capacity).empty()) h.actual = 0;
  }
}

// The file's own 使用率 must agree with the figures read, within a point,
// either way: a disagreement means a column was misread. An empty cell
// cannot be held against them; but where the file gives 使用率 beside its
// other actuals, an hour with an actual and no 使用率 is a file caught
// half-written or edited, and is refused rather than taken unchecked.
void CheckOwnPercent(const HourlyTable& table, const Reading& r) {
  const double own = table.percents[static_cast<size_t>(r.hour)];
  const double computed = static_cast<double>(r.usage) * 100.0 / r.capacity;
  if (own >= 0 && std::fabs(own - computed) > 1.0) {
    char text[160];
    std::snprintf(text, sizeof text, "the file's 使用率 for %d時 (%g%%) disagrees with %d/%d = %.1f%%: misread",
                  r.hour, own, r.usage, r.capacity, computed);
    Reject(text);
  }
  if (own >= 0 || table.columns.percent < 0) return;
  for (int hour = 0; hour < r.hour; ++hour) {
    if (table.hours[static_cast<size_t>(hour)].actual > 0 && table.percents[static_cast<size_t>(hour)] >= 0) {
      Reject("the file's 使用率 for " + std::to_string(r.hour) + "時 is empty where earlier hours have one: " +
             "a half-written file, its figures cannot be checked");
    }
  }
}

// The hour's own supply. The day's peak supply stands in only where the
// table has no supply column at all (Tokyo's table of 2013): where it has
// one, an hour with an actual and no supply is a file caught half-written.
int32_t CapacityOf(const HourlyTable& table, const DayFigures& day, int hour) {
  const int32_t own = table.hours[static_cast<size_t>(hour)].capacity;
  if (own > 0) return own;
  const std::string at = std::to_string(hour) + "時";
  if (table.columns.supply >= 0) {
    Reject("the file's 供給力 for " + at + " is empty or 0 beside its actual: a half-written file, its "
           "figures cannot be checked");
  }
  if (day.peakCapacity <= 0) Reject("no supply capacity for " + at + ", nor a ピーク時供給力 block");
  return day.peakCapacity;
}

// The latest hour whose actual holds a positive number; an empty cell or 0
// is an hour still to come. Its 使用率 says nothing of that: some areas
// write a forecast there for hours to come. The reading is the one figure
// that can raise an alarm, so it is held hardest against what could
// overstate it, on its own hour's figures alone: no higher than its area's
// bounds nor beyond the limit over its own supply, and in agreement with
// the file's own 使用率. How low it is, or how far it moved from the hours
// before, is never held against it: a blackout's hour is 41 of 480 万kW.
std::optional<Reading> LatestReading(const HourlyTable& table, const DayFigures& day, int64_t stamp,
                                     const Area& area) try {
  for (int hour = 23; hour >= 0; --hour) {
    const HourFigures& h = table.hours[static_cast<size_t>(hour)];
    if (h.actual <= 0) continue;
    Reading r;
    r.usage = h.actual;
    r.capacity = CapacityOf(table, day, hour);
    const std::string at = std::to_string(hour) + "時";
    if (r.usage > AreaCeiling(area)) Reject(FigureOutsideArea(at, r.usage, area));
    if (std::string beyond = UsageBeyondCapacity(at, r.usage, r.capacity); !beyond.empty()) Reject(beyond);
    if (stamp < JapanTimeToUnix(day.year, day.month, day.day, hour)) {
      Reject("the stamp line (" + day.updated + ") is earlier than the hour " + at + " it gives an actual for");
    }
    r.year = day.year;
    r.month = day.month;
    r.day = day.day;
    r.hour = hour;
    r.percent = static_cast<uint32_t>(UsagePercentOf(r.usage, r.capacity));  // at most 120: see the limits
    r.updated = day.updated;
    CheckOwnPercent(table, r);
    return r;
  }
  return std::nullopt;
} catch (FileRejected& rejected) {
  throw rejected.Said("最新の実績の数字がありえないか、ほかの数字と合いません");
}

OperatorFile ReadFile(std::string_view bytes, const Area& area) {
  const FileLines lines = OpenFile(bytes);
  size_t header = FindHourlyTable(lines);
  HourlyTable table = ReadHourlyTable(lines, header);
  OperatorFile file;
  DayFigures& day = file.day;
  day.year = table.date.year;
  day.month = table.date.month;
  day.day = table.date.day;
  file.stamp = ReadStamp(lines, header);
  CheckStampDay(file.stamp, table.date);
  day.updated = UnixToJapanIso(file.stamp);
  ReadHeadBlocks(lines, header, area, &day);
  day.outlook = ReadOutlook(lines, header, day, area);
  day.hours = table.hours;
  file.reading = LatestReading(table, day, file.stamp, area);
  CheckSupplyAndForecasts(table, area);
  LeaveOutImpossibleActuals(area, &day.hours);
  return file;
}

}  // namespace

std::optional<OperatorFile> TryReadOperatorFile(std::string_view bytes, const Area& area, std::string* reason,
                                                std::string* said) {
  const char* words = "ファイルの形が読めません";
  try {
    return ReadFile(bytes, area);
  } catch (const FileRejected& rejected) {
    *reason = rejected.reason;
    if (rejected.said != nullptr) words = rejected.said;
  } catch (const std::bad_alloc&) {
    *reason = "out of memory while reading the file";
    words = "ファイルを読む途中でメモリーが足りなくなりました";
  }
  if (said != nullptr) *said = words;
  return std::nullopt;
}

}  // namespace gw::bridge
