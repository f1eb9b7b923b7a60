// The operator's forecasts in its file of the day: for today and, once it
// publishes them, for tomorrow, the hour of the highest demand (ピーク時供給力,
// 予想最大電力) and the tightest hour (使用率ピーク時供給力, 使用率ピーク時予想
// 最大電力 and their 使用率). Each block is found by its name. Today's stand
// before the hourly table; tomorrow's are named 翌日の… or follow the table,
// as each operator writes them, and are never taken for today's nor today's
// for tomorrow's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bridge/reading/areas.h"
#include "bridge/reading/figures.h"
#include "bridge/reading/file_lines.h"

namespace gw::bridge {

// The outlook of the file whose hourly table's header is line `table` and
// whose day is `day` (its year, month and day). Blocks not yet published
// (empty cells, or a 0 left from the day before) are simply not given. A
// figure beyond the area's bounds, a 使用率 above what any grid runs at or
// disagreeing with its own figures, or tightest-hour blocks naming different
// hours make the file refused (throws FileRejected), as the actuals do.
Outlook ReadOutlook(const FileLines& lines, size_t table, const DayFigures& day, const Area& area);

// A held file's forecasts as they stand at `now` (Unix seconds): the one of
// the day in Japan at `now` is today's, the next day's is tomorrow's, and
// one of a day gone by or not given is none (null). Just after midnight the
// old day's file still held gives its tomorrow's as today's.
struct OutlookNow {
  const DayForecast* today = nullptr;
  const DayForecast* tomorrow = nullptr;
};
OutlookNow OutlookAt(const Outlook& outlook, int64_t now);

}  // namespace gw::bridge
