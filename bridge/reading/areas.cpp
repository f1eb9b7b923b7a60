#include "bridge/reading/areas.h"

#include <algorithm>

#include "bridge/reading/japan_time.h"

namespace gw::bridge {
namespace {

constexpr std::string_view kDatePlaceholder = "{date}";

}  // namespace

const std::array<Area, kAreaCount>& AllAreas() {
  // The records as the operators announced them where known, else the
  // scale of the area's largest summer or winter peaks; the bounds are wide
  // enough that a record a fifth higher still reads.
  static const std::array<Area, kAreaCount> areas = {{
      {"hokkaido", "北海道", "https://denkiyoho.hepco.co.jp/area/data/juyo_01_{date}.csv",
       {580, "a winter peak of about 580 万kW"}},
      {"tohoku", "東北", "https://setsuden.nw.tohoku-epco.co.jp/common/demand/juyo_02_{date}.csv",
       {1560, "a peak of about 1560 万kW"}},
      {"tokyo", "東京", "https://www.tepco.co.jp/forecast/html/images/juyo-d1-j.csv",
       {6430, "the record of 6430 万kW on 2001-07-24"}},
      {"chubu", "中部", "https://powergrid.chuden.co.jp/denki_yoho_content_data/juyo_cepco003.csv",
       {2830, "the record of 2750 万kW on 2001-07-24, passed in 2008, about 2830 万kW"}},
      {"hokuriku", "北陸", "https://www.rikuden.co.jp/nw/denki-yoho/csv/juyo_05_{date}.csv",
       {580, "a peak of about 580 万kW"}},
      {"kansai", "関西", "https://www.kansai-td.co.jp/yamasou/juyo_06_{date}.csv",
       {3310, "the record of 3306 万kW on 2001-08-02"}},
      {"chugoku", "中国", "https://www.energia.co.jp/nw/jukyuu/sys/juyo_07_{date}.csv",
       {1200, "peaks of about 1100 to 1200 万kW (1106 万kW in 2018)"}},
      {"shikoku", "四国", "https://www.yonden.co.jp/nw/denkiyoho/juyo_08_{date}.csv",
       {600, "a peak of about 600 万kW"}},
      {"kyushu", "九州", "https://www.kyuden.co.jp/td_power_usages/csv/juyo-hourly-{date}.csv",
       {1750, "the summer of 2008, whose three highest days averaged 1755 万kW"}},
      {"okinawa", "沖縄", "https://www.okiden.co.jp/denki2/juyo_10_{date}.csv",
       {160, "a peak of about 160 万kW"}},
  }};
  return areas;
}

const Area* FindArea(std::string_view name) {
  for (const Area& area : AllAreas()) {
    if (name == area.name) return &area;
  }
  return nullptr;
}

int32_t AreaFloor(const Area& area) { return area.size.recordPeak / 10; }
int32_t AreaCeiling(const Area& area) { return area.size.recordPeak * 3 / 2; }

size_t AreaIndex(const Area& area) { return static_cast<size_t>(&area - AllAreas().data()); }

std::string AreaNames() {
  std::string names;
  for (const Area& area : AllAreas()) names += (names.empty() ? "" : ", ") + std::string(area.name);
  return names;
}

std::string SourceForDay(std::string_view source, int64_t unixSeconds) {
  std::string out;
  for (size_t at = 0;;) {
    const size_t found = source.find(kDatePlaceholder, at);
    out.append(source.substr(at, found - at));
    if (found == std::string_view::npos) return out;
    out += JapanDateDigits(unixSeconds);
    at = found + kDatePlaceholder.size();
  }
}

bool IsDatedSource(std::string_view source) { return source.find(kDatePlaceholder) != std::string_view::npos; }

// The login ends at the last '@' before the path. A password holding '?'
// or '#' is still taken for the login's, never shown as a host.
std::string ShownSource(std::string_view url) {
  const size_t scheme = url.find("://");
  const size_t hostAt = scheme == std::string_view::npos ? 0 : scheme + 3;
  const size_t pathAt = std::min(url.find('/', hostAt), url.size());
  const size_t login = url.substr(0, pathAt).rfind('@');
  const size_t kept = login == std::string_view::npos || login < hostAt ? hostAt : login + 1;
  std::string_view rest = url.substr(kept);
  rest = rest.substr(0, std::min(rest.find_first_of("?#"), rest.size()));
  return std::string(url.substr(0, hostAt)) + std::string(rest);
}

}  // namespace gw::bridge
