#include "bridge/serving/outlook_lines.h"

#include <cstdio>

#include "bridge/charts/chart_layout.h"
#include "bridge/reading/forecasts.h"

namespace gw::bridge {
namespace {

// Each band's name for data attributes, in the order of UsageBand.
constexpr const char* kBandKeys[kUsageBandCount] = {"stable", "somewhat_tight", "tight", "very_tight"};

// The band as a word on its own colour: dark text on the light yellow,
// white on the others, so that each stays readable.
std::string BandBadge(UsageBand band) {
  char style[64];
  std::snprintf(style, sizeof style, "background:#%06X;color:%s", static_cast<unsigned>(BandColour(band)),
                band == UsageBand::kSomewhatTight ? "#1c2430" : "#fff");
  return std::string("<span class=\"band\" style=\"") + style +
         ";border-radius:1rem;padding:0 .6rem;white-space:nowrap\">" + BandName(band) + "</span>";
}

std::string OutlookLine(const char* label, const char* day, const DayForecast& f) {
  const UsageBand band = BandForPercent(f.tightPercent);
  const std::string hour = f.tightHour >= 0 ? std::to_string(f.tightHour) + "時台に" : "";
  return std::string("<p class=\"outlook\" style=\"margin:.25rem 0\" data-day=\"") + day + "\" data-band=\"" +
         kBandKeys[static_cast<int>(band)] + "\"><b>" + label + "</b>　" + hour + "使用率 " +
         std::to_string(f.tightPercent) + "% の予想 " + BandBadge(band) + "</p>\n";
}

}  // namespace

std::string OutlookLines(const Outlook& outlook, int64_t now) {
  const OutlookNow at = OutlookAt(outlook, now);
  std::string html;
  if (at.today != nullptr && at.today->tightPercent >= 0) html += OutlookLine("今日の見通し", "today", *at.today);
  if (at.tomorrow != nullptr && at.tomorrow->tightPercent >= 0) html += OutlookLine("明日の見通し", "tomorrow", *at.tomorrow);
  return html;
}

}  // namespace gw::bridge
