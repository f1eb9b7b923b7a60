// The status page's 今日の見通し and 明日の見通し: for each day whose
// forecast the held file gives, the tightest hour the operator forecasts,
// its 使用率 and the operator's band as a word and a colour, one line each.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/reading/figures.h"

namespace gw::bridge {

// The lines as HTML, for the day in Japan at `now` and the next; a day the
// file gives no 使用率 for has no line (never a 0 %). Empty when neither.
std::string OutlookLines(const Outlook& outlook, int64_t now);

}  // namespace gw::bridge
