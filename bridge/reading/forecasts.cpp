#include "bridge/reading/forecasts.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "bridge/reading/figure_limits.h"
#include "bridge/reading/japan_time.h"
#include "bridge/reading/names.h"
#include "bridge/reading/text_cells.h"

namespace gw::bridge {
namespace {

// Names inside the file, in UTF-8 as the decoded text is.
constexpr char kTomorrow[] = "翌日";
constexpr char kOf[] = "の";
constexpr char kTightest[] = "使用率ピーク時";
constexpr char kHighestPercent[] = "最大使用率";
constexpr char kHours[] = "時間帯";
constexpr char kUpdatedOn[] = "更新日";
constexpr char kUpdate[] = "更新";
// A tightest hour's demand is 予想最大電力 in most files, 予想値 in
// Kansai's and 需要 in Chubu's.
constexpr const char* kDemandWords[] = {"予想", "予測", "需要"};

enum class Kind { kNone, kPeakSupply, kForecastPeak, kTightSupply, kTightDemand, kTightPercent };
constexpr size_t kKinds = 6;

bool StartsWith(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }

// What a block's name says it is; `tomorrow` set for a 翌日(の) block. The
// order matters as in the hourly table: 使用率ピーク時供給力 is the tightest
// hour's supply, not the day's peak supply, and the blocks of the lowest
// reserve (予備率ピーク時…) and the highest usage so far (最大使用率) are
// none of ours.
Kind KindOf(std::string name, bool* tomorrow) {
  *tomorrow = StartsWith(name, kTomorrow);
  if (*tomorrow) name.erase(0, std::strlen(kTomorrow));
  if (*tomorrow && StartsWith(name, kOf)) name.erase(0, std::strlen(kOf));
  if (StartsWith(name, kTightest)) {
    const std::string rest = name.substr(std::strlen(kTightest));
    if (Contains(rest, kSupply)) return Kind::kTightSupply;
    if (Contains(rest, kPercent)) return Kind::kTightPercent;
    for (const char* word : kDemandWords) {
      if (Contains(rest, word)) return Kind::kTightDemand;
    }
    return Kind::kNone;
  }
  if (StartsWith(name, kPercent) || StartsWith(name, kReserve) || StartsWith(name, kHighestPercent)) {
    return Kind::kNone;
  }
  if (Contains(name, kPeakSupply)) return Kind::kPeakSupply;
  if (Contains(name, kForecastPeak)) return Kind::kForecastPeak;
  return Kind::kNone;
}

// One block as read: its figure (a percentage for kTightPercent), its hour
// and, for the tightest hour's supply, the 使用率 written beside it.
struct Block {
  bool found = false;
  int32_t figure = 0;
  int32_t hour = -1;
  double percent = -1;
  std::string where;
};

struct DayBlocks {
  Date date;
  Block blocks[kKinds];
  Block& of(Kind kind) { return blocks[static_cast<size_t>(kind)]; }
};

const std::string& Cell(const Line& line, int column) {
  static const std::string kEmpty;
  return column < 0 || static_cast<size_t>(column) >= line.cells.size() ? kEmpty
                                                                         : line.cells[static_cast<size_t>(column)];
}

// The first column after the figure whose name holds `part` and not
// `unless` (the update's columns are named after the block: 使用率ピーク時
// 供給力情報更新日 is no 使用率); -1 if none.
int ColumnOf(const Line& header, const char* part, const char* unless = nullptr) {
  for (size_t i = 1; i < header.cells.size(); ++i) {
    const std::string name = NormaliseName(header.cells[i]);
    if (Contains(name, part) && (unless == nullptr || !Contains(name, unless))) return static_cast<int>(i);
  }
  return -1;
}

// The update date as the head blocks write it (`12/24`, `12月24日`,
// `12月07日`, or with the year first): false when the cell holds none.
bool UpdateDate(const std::string& text, const Date& near, Date* date) {
  int numbers[3] = {0, 0, 0};
  int count = 0;
  bool inNumber = false;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    if (digit && !inNumber && count == 3) return false;
    if (digit) {
      if (!inNumber) ++count;
      int& n = numbers[count - 1];
      if (n > 9999) return false;
      n = n * 10 + (c - '0');
    }
    inNumber = digit;
  }
  if (count < 2) return false;
  const bool withYear = count == 3;
  date->month = numbers[withYear ? 1 : 0];
  date->day = numbers[withYear ? 2 : 1];
  if (date->month < 1 || date->month > 12 || date->day < 1 || date->day > 31) return false;
  // Without a year: the one that puts the date nearest the file's day, so
  // that 12/31 in a file of 1/1 is the day before.
  date->year = withYear ? numbers[0] : near.year + (date->month - near.month > 6 ? -1 : 0) +
                                           (near.month - date->month > 6 ? 1 : 0);
  return true;
}

int64_t DayStart(const Date& d) { return JapanTimeToUnix(d.year, d.month, d.day, 0); }

Date NextDay(const Date& d) {
  const std::string iso = UnixToJapanIso(DayStart(d) + 24 * 3600);
  return Date{std::stoi(iso.substr(0, 4)), std::stoi(iso.substr(5, 2)), std::stoi(iso.substr(8, 2))};
}

std::string DateText(const Date& d) {
  return std::to_string(d.year) + "/" + std::to_string(d.month) + "/" + std::to_string(d.day);
}

// A figure of a block: empty or 0 is not given (an operator writes either
// before it publishes); anything else must lie within the area's bounds.
int32_t BlockFigure(const std::string& cell, const std::string& where, const Area& area) {
  if (cell.empty()) return 0;
  const int32_t figure = ParseFigure(cell, where);
  if (figure == 0) return 0;
  if (std::string beyond = FigureOutsideArea(where, figure, area); !beyond.empty()) Reject(beyond);
  return figure;
}

// A 使用率 of a block: empty or 0 is not given; above the usage limit no
// grid runs, so the figure is wrong.
double BlockPercent(const std::string& cell, const std::string& where) {
  if (cell.empty()) return -1;
  const double percent = ParsePercent(cell, where);
  if (percent <= 0) return -1;
  if (percent > static_cast<double>(kMostUsagePercent)) {
    char text[64];
    std::snprintf(text, sizeof text, "%g%%", percent);
    Reject(where + ": a 使用率 of " + text + " is beyond " + std::to_string(kMostUsagePercent) +
           " % (usage in percent of the hour's supply): a grid a fifth over its supply would be blacked out, so "
           "the figures are wrong");
  }
  return percent;
}

// A block is a header line and a value line. A block of tomorrow's updated
// before the file's own day was written the day before, for today: left
// over until the operator publishes tomorrow's, and not given.
void ReadBlock(const Line& header, const Line& value, Kind kind, DayBlocks* day, bool tomorrow, const Area& area) {
  Block& block = day->of(kind);
  block.found = true;
  Date updated;
  const int64_t fileDay = DayStart(day->date) - 24 * 3600;
  if (tomorrow && UpdateDate(Cell(value, ColumnOf(header, kUpdatedOn)), day->date, &updated) &&
      DayStart(updated) < fileDay) {
    return;
  }
  block.where = "line " + std::to_string(value.number) + ", column " + header.cells[0];
  if (kind == Kind::kTightPercent) {
    block.percent = BlockPercent(Cell(value, 0), block.where);
  } else {
    block.figure = BlockFigure(Cell(value, 0), block.where, area);
  }
  if (kind == Kind::kTightSupply) {
    const int column = ColumnOf(header, kPercent, kUpdate);
    block.percent = BlockPercent(Cell(value, column), "line " + std::to_string(value.number) + ", column " +
                                                          Cell(header, column));
  }
  if (block.figure > 0 || block.percent > 0) block.hour = LeadingHour(Cell(value, ColumnOf(header, kHours)));
}

// The tightest hour of a day from its blocks: the one hour they all name,
// and the file's own 使用率 where it gives one, held against its figures.
void Tightest(DayBlocks& blocks, DayForecast* f) {
  const Block& supply = blocks.of(Kind::kTightSupply);
  const Block& demand = blocks.of(Kind::kTightDemand);
  const Block& percent = blocks.of(Kind::kTightPercent);
  for (const Block* b : {&supply, &demand, &percent}) {
    if (b->hour < 0) continue;
    if (f->tightHour >= 0 && f->tightHour != b->hour) {
      Reject("the 使用率ピーク時 blocks of " + DateText(blocks.date) + " name different hours (" +
             std::to_string(f->tightHour) + "時 and " + std::to_string(b->hour) + "時 at " + b->where +
             "): they are not of one tightest hour");
    }
    f->tightHour = b->hour;
  }
  f->tightSupply = supply.figure;
  f->tightDemand = demand.figure;
  const double own = supply.percent > 0 ? supply.percent : percent.percent;
  if (f->tightSupply > 0 && f->tightDemand > 0) {
    const std::string where = "the 使用率ピーク時 blocks of " + DateText(blocks.date);
    if (std::string beyond = UsageBeyondCapacity(where, f->tightDemand, f->tightSupply); !beyond.empty()) {
      Reject(beyond);
    }
    const double computed = f->tightDemand * 100.0 / f->tightSupply;
    if (own > 0 && std::fabs(own - computed) > 1.0) {
      char text[200];
      std::snprintf(text, sizeof text, "%s: the file's 使用率 (%g%%) disagrees with %d/%d = %.1f%%: misread",
                    where.c_str(), own, f->tightDemand, f->tightSupply, computed);
      Reject(text);
    }
    f->tightPercent = static_cast<int32_t>(UsagePercentOf(f->tightDemand, f->tightSupply));
  }
  if (own > 0) f->tightPercent = static_cast<int32_t>(own);
}

DayForecast Assemble(DayBlocks& blocks) {
  DayForecast f;
  f.year = blocks.date.year;
  f.month = blocks.date.month;
  f.day = blocks.date.day;
  f.peakSupply = blocks.of(Kind::kPeakSupply).figure;
  f.peakSupplyHour = blocks.of(Kind::kPeakSupply).hour;
  f.forecastPeak = blocks.of(Kind::kForecastPeak).figure;
  f.forecastPeakHour = blocks.of(Kind::kForecastPeak).hour;
  Tightest(blocks, &f);
  return f;
}

}  // namespace

Outlook ReadOutlook(const FileLines& lines, size_t table, const DayFigures& day, const Area& area) try {
  DayBlocks today, tomorrow;
  today.date = Date{day.year, day.month, day.day};
  tomorrow.date = NextDay(today.date);
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    const Line header = lines[i];
    bool named = false;
    const Kind kind = KindOf(NormaliseName(header.cells[0]), &named);
    if (kind == Kind::kNone) continue;
    const bool isTomorrow = named || i > table;
    DayBlocks& blocks = isTomorrow ? tomorrow : today;
    // The first block of each kind is the day's, even when not yet filled.
    if (blocks.of(kind).found) continue;
    ReadBlock(header, lines[i + 1], kind, &blocks, isTomorrow, area);
  }
  return Outlook{Assemble(today), Assemble(tomorrow)};
} catch (FileRejected& rejected) {
  throw rejected.Said("見通しの予想（使用率ピーク時）の数字がありえないか、合いません");
}

OutlookNow OutlookAt(const Outlook& outlook, int64_t now) {
  OutlookNow at;
  const int64_t today = JapanDayStart(now);
  for (const DayForecast* f : {&outlook.today, &outlook.tomorrow}) {
    if (!f->Given()) continue;
    const int64_t day = DayStart(Date{f->year, f->month, f->day});
    if (day == today) at.today = f;
    if (day == today + 24 * 3600) at.tomorrow = f;
  }
  return at;
}

}  // namespace gw::bridge
