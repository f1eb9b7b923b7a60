// The status page as a browser gets it from the responder, for hand-made
// source statuses published into the areas' caches: each state's words,
// figures and advice, the escaping of every text from the file or the
// command line, and the page's own rules (no script, nothing from elsewhere).
#include "bridge/serving/status_page.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "bridge/cache/documents.h"
#include "bridge/reading/japan_time.h"
#include "bridge/serving/responder.h"
#include "support/sample_day.h"

namespace {

using namespace gw::bridge;
using testing::HasSubstr;
using testing::Not;

const int64_t kNow = JapanTimeToUnix(2026, 12, 7, 14, 58);
constexpr int64_t kMaxAge = 3 * 3600;

// The afternoon's reading and day, changed as a case needs.
using Change = void (*)(Reading&, DayFigures&);

std::shared_ptr<const Snapshot> AfternoonSnapshot(Change change) {
  Reading reading = gwtest::AfternoonReading();
  DayFigures day = gwtest::AfternoonDay();
  day.forecastPeakHour = 18;
  if (change != nullptr) change(reading, day);
  return RenderSnapshot({reading, day, "GIF89a", "GIF89a", "https://operator.invalid/a.csv", kMaxAge,
                         FindArea("tokyo")});
}

// A small area's figures, and a day whose file gives its forecast peak but
// no ピーク時供給力 to take a percentage of.
void SmallDayWithoutPeakSupply(Reading& r, DayFigures& day) {
  r.usage = 120;
  r.capacity = 150;
  day.forecastPeak = 1234;
  day.peakCapacity = 0;
}

// Today's tightest hour forecast; tomorrow's peak published, its tightest
// hour not yet: a line for today only.
void TomorrowWithoutItsTightestHour(Reading&, DayFigures& day) {
  DayForecast& today = day.outlook.today;
  today.year = 2026, today.month = 12, today.day = 7;
  today.tightHour = 18, today.tightSupply = 5060, today.tightDemand = 4706, today.tightPercent = 93;
  DayForecast& tomorrow = day.outlook.tomorrow;
  tomorrow.year = 2026, tomorrow.month = 12, tomorrow.day = 8;
  tomorrow.peakSupply = 5433, tomorrow.peakSupplyHour = 17;
}

struct PageCase {
  const char* name;
  SourceState state;
  std::string outcome, said, source;  // said: the outcome as the page says it
  bool reading;     // a reading of 14時 is held
  int64_t now;
  std::vector<std::string> shown, hidden;  // in tokyo's card
  Change change = nullptr;                  // of the held reading's figures
  const char* host = "192.0.2.10:8081";     // as the browser asked for the page
  const char* proxy = "サーバーに <code>192.0.2.10</code>、ポートに <code>8081</code>";  // the plug-in's setting
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

const std::string kHostileSource = "http://127.0.0.1:9/a.csv?\"><img src=x onerror=alert(1)>";
const std::string kHostileOutcome = "refused the file: no stamp line in <script>alert(\"x\")</script> & \x01\xff";

const char kRead[] = "新しい値を読みました（12月7日 14時台、使用率 81%）";

const PageCase kCases[] = {
    {"fresh", SourceState::kFresh, "new reading", kRead, "https://operator.invalid/a.csv", true, kNow,
     {"data-state=\"fresh\"", "class=\"state\">正常<", "2026年12月7日 14時台", ">81%<", ">3,869 万kW<",
      ">4,740 万kW<", ">4,620 万kW（18時台、使用率 90%）<", "<img src=\"/areas/tokyo/meter.gif\"",
      "<img src=\"/areas/tokyo/day.gif\"", "58分（上限 3時間）"},
     {"class=\"advice\"", "st-degraded"}},
    {"refused, with hostile texts", SourceState::kFileRefused, kHostileOutcome,
     "ファイルの形が読めません（更新時刻の行がないか、読めません）", kHostileSource, false, kNow,
     {"data-state=\"file_refused\"", "ファイルを読めません", "でんき予報のページ", "<code>--source</code>",
      "<summary>詳細</summary><code>refused the file: no stamp line in &lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; "
      "&amp; \xEF\xBF\xBD\xEF\xBF\xBD</code></details>",
      "a.csv?&quot;&gt;&lt;img src=x onerror=alert(1)&gt;", "いまプラグインに渡せる値はありません"},
     {"<script", "<img src=x", "\xff", "\x01", "/areas/tokyo/meter.gif"}},
    {"failed, a fresh reading still served", SourceState::kUpstreamFailed, "failed: the source answered HTTP 404",
     "事業者が 404 を返しました", "https://operator.invalid/a.csv", true, kNow,
     {"data-state=\"upstream_failed\"", "area st-degraded", "取得できません", "the source answered HTTP 404",
      ">3,869 万kW<", "/areas/tokyo/day.gif", "前回までに取得したもの"},
     {}},
    {"fresh, but the reading grew old", SourceState::kFresh, "new reading", kRead, "https://operator.invalid/a.csv", true,
     JapanTimeToUnix(2026, 12, 7, 17, 1),
     {"data-state=\"stale\"", "値が古くなっています", "3時間1分（上限 3時間）", "<code>--max-age</code>（3時間）"},
     {">3,869 万kW<", "/areas/tokyo/meter.gif"}},
    {"a small day without its peak supply", SourceState::kFresh, "new reading", kRead,
     "https://operator.invalid/a.csv", true, kNow, {">120 万kW<", ">150 万kW<", ">1,234 万kW（18時台）<"}, {",120", "18時台、"},
     SmallDayWithoutPeakSupply},
    {"tomorrow's tightest hour not yet published", SourceState::kFresh, "new reading", kRead,
     "https://operator.invalid/a.csv", true, kNow, {"今日の見通し</b>　18時台に使用率 93% の予想", ">やや厳しい<"},
     {"明日の見通し", "-1%"}, TomorrowWithoutItsTightestHour},
    {"a day old, asked by IPv6 address", SourceState::kFresh, "new reading", kRead, "https://operator.invalid/a.csv",
     true,
     JapanTimeToUnix(2026, 12, 8, 20, 0), {"30時間（上限 3時間）"}, {}, nullptr, "[2001:db8::1]:8081",
     "サーバーに <code>2001:db8::1</code>、ポートに <code>8081</code>"},
    {"two days old, asked by IPv6 address without a port", SourceState::kFresh, "new reading", kRead,
     "https://operator.invalid/a.csv", true, JapanTimeToUnix(2026, 12, 9, 16, 0), {"2日2時間（上限 3時間）"}, {},
     nullptr, "[::1]", "サーバーに <code>::1</code>、ポートに <code>80</code>"},
};

class StatusPageTest : public testing::TestWithParam<PageCase> {
 protected:
  // tokyo as the case says; kansai never fetched; this listener serves kansai.
  Reply Get(const PageCase& c, const std::string& target) {
    auto status = std::make_shared<SourceStatus>();
    *status = {c.state, c.outcome, kNow - 3600, kNow - 120, kNow - 120, c.source, c.said};
    areas_.cache(0).PublishStatus(status);
    if (c.reading) areas_.cache(0).Publish(AfternoonSnapshot(c.change));
    AreaViews views(areas_);
    Reply reply;
    responder_.Respond({"GET", target, "", "", c.host}, views, c.now, &reply);
    return reply;
  }

  ServedAreas areas_{{FindArea("tokyo"), FindArea("kansai")}};
  Metrics metrics_;
  Responder responder_{metrics_, nullptr, kMaxAge, 1};
};

TEST_P(StatusPageTest, ShowsEachAreasStateInItsOwnWords) {
  const PageCase& c = GetParam();
  const Reply reply = Get(c, "/");
  const std::string& page = reply.answer().body;
  EXPECT_EQ(reply.answer().status, 200);
  EXPECT_THAT(reply.answer().head, HasSubstr("Content-Type: text/html; charset=utf-8\r\n"));
  EXPECT_THAT(reply.answer().head, HasSubstr("Content-Security-Policy: default-src 'none'; img-src 'self'"));
  const size_t tokyo = page.rfind("<section", page.find("data-area=\"tokyo\""));
  const size_t kansai = page.find("<section", tokyo + 1);
  ASSERT_LT(tokyo, kansai) << "the areas in the order served";
  const std::string card = page.substr(tokyo, kansai - tokyo);
  for (const std::string& text : c.shown) EXPECT_THAT(card, HasSubstr(text));
  for (const std::string& text : c.hidden) EXPECT_THAT(card, Not(HasSubstr(text)));
  EXPECT_THAT(card, HasSubstr("<dd class=\"outcome\">" + c.said + "<details><summary>詳細</summary>"));

  EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n", 0), 0u);
  EXPECT_THAT(page, HasSubstr("<meta http-equiv=\"refresh\" content=\"60\">"));
  EXPECT_THAT(page, HasSubstr("data-area=\"kansai\" data-state=\"starting\""));
  EXPECT_THAT(page, HasSubstr(c.proxy));
  EXPECT_THAT(page, HasSubstr("このポートでは関西エリアの値を渡します"));
  EXPECT_THAT(page, HasSubstr("<a href=\"/guide/\">Gridwren の使い方</a>"));
  EXPECT_TRUE(std::regex_search(page, std::regex("gridwren-bridge [0-9]+\\.[0-9]+\\.[0-9]+）"))) << "the version";
  // Nothing from elsewhere, no script: every address on the page is the bridge's own.
  EXPECT_THAT(page, Not(HasSubstr("<script")));
  const std::regex address("(src|href)=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), address); it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[2].str().substr(0, 1), "/") << (*it)[0];
  }

  const std::string one = Get(c, "/areas/kansai/").answer().body;
  EXPECT_THAT(one, HasSubstr("data-area=\"kansai\""));
  EXPECT_THAT(one, Not(HasSubstr("data-area=\"tokyo\"")));
}

INSTANTIATE_TEST_SUITE_P(States, StatusPageTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::to_string(info.index); });

}  // namespace
