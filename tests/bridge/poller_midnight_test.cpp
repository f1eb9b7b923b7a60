// The poller and what plug-ins are offered around midnight in Japan, with a
// set clock: the old day's last hour written after midnight, the new day's
// file awaited only after the old day read well (also for a bridge started
// in the night), and no reading of the old day offered to the plug-in twice.
// Through the platform's own fetch and HTTP front, so that the Windows
// bridge runs the same tables under Wine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bridge/reading/japan_time.h"
#include "bridge/upstream/poller.h"
#include "support/captured_log.h"
#include "support/http_client.h"
#include "support/operator_csv.h"
#include "support/source_server.h"
#include "support/test_bridge.h"

namespace {

using gw::bridge::JapanTimeToUnix;
using gw::bridge::SourceState;
using gwtest::From;
using gwtest::OperatorCsv;
using gwtest::SourceServer;
using gwtest::TestBridge;
using testing::HasSubstr;
using testing::Not;

// Just after midnight the old day's file gets its last hour, stamped on the
// new day; then the new day's file has no actual until about 1 a.m.
TEST(PollerMidnight, AcrossMidnightTheOldDaysLastHourIsTakenAndKeptUntilTheFirst) {
  TestBridge bridge;
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 6));
  OperatorCsv lastHour;
  lastHour.hoursWithActual = 24;
  lastHour.stampDate = "2026/12/8";
  lastHour.stampTime = "0:00";
  std::string outcome;
  ASSERT_TRUE(bridge.Take(lastHour.Bytes(), &outcome)) << outcome;
  auto held = bridge.cache.Current();
  EXPECT_EQ(held->reading.hour, 23);
  OperatorCsv newDay;
  newDay.day = 8;
  newDay.hoursWithActual = 0;
  newDay.stampTime = "0:10";
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 11));
  EXPECT_TRUE(bridge.Take(newDay.Bytes(), &outcome)) << "a sound file, only without actuals";
  EXPECT_THAT(outcome, HasSubstr("held reading stays"));
  EXPECT_EQ(bridge.cache.Current(), held) << "the old day's last hour is still served";
  EXPECT_EQ(gwtest::Get(bridge.port(), "/latest.json").status, 200);
  OperatorCsv firstHour = newDay;
  firstHour.hoursWithActual = 1;
  firstHour.stampTime = "1:05";
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 1, 6));
  ASSERT_TRUE(bridge.Take(firstHour.Bytes(), &outcome)) << outcome;
  EXPECT_EQ(bridge.cache.Current()->reading.day, 8);
  EXPECT_EQ(bridge.HeldHour(), 0);
}

// Kansai's dated file, from the test source, for a bridge started at `start`
// (0: the default).
gwtest::TestBridgeOptions KansaiDated(const SourceServer& source, int64_t start = 0) {
  gwtest::TestBridgeOptions options;
  options.start = start;
  options.area = "kansai";
  options.source = source.Url().substr(0, source.Url().rfind('/')) + "/juyo_06_{date}.csv";
  return options;
}

// Kansai's file of 2026-12-07 with `hours` actuals, stamped at `stamp`.
std::string KansaiDay7(int hours, const char* stamp) {
  OperatorCsv file;
  file.hoursWithActual = hours;
  file.stampTime = stamp;
  file.scalePercent = 60;  // Kansai's size
  return file.Bytes();
}

std::string KansaiMetrics(const TestBridge& bridge) {
  return bridge.metrics.Render({{gw::bridge::FindArea("kansai"), nullptr}}, 0);
}

struct NightCase {
  const char* name;
  int64_t start;      // the bridge's start, and its first fetch
  bool throughMidnight;  // then fetches again at 00:05
  int oldDayStatus;   // how the source answers for the old day's file
  int oldDayHours;    // with 200: the hours with an actual of a sound file; 0: a file refused
  SourceState state;  // after the first fetch of the new day's missing file
};

// Whether the new day's missing file is the expected wait or a failure
// depends on the old day's file having read well at the last fetch before
// midnight; a bridge started in the night reads it once to know, and so
// stands where one that ran through midnight would. The wait raises no
// alarm, and ends with the grace: then the missing file is a failure.
TEST(PollerDatedSource, TheNewDaysFileIsAwaitedOnlyAfterTheOldDayReadWell) {
  const NightCase cases[] = {
      {"ran through midnight", JapanTimeToUnix(2026, 12, 7, 23, 58), true, 200, 24, SourceState::kAwaitingNewDay},
      {"ran through midnight, failing before it", JapanTimeToUnix(2026, 12, 7, 23, 58), true, 503, 0,
       SourceState::kUpstreamFailed},
      {"ran through midnight, its file refused before it", JapanTimeToUnix(2026, 12, 7, 23, 58), true, 200, 0,
       SourceState::kUpstreamFailed},
      {"ran through midnight, its reading stale before it", JapanTimeToUnix(2026, 12, 7, 23, 58), true, 200, 20,
       SourceState::kUpstreamFailed},
      {"started at 00:20", JapanTimeToUnix(2026, 12, 8, 0, 20), false, 200, 24, SourceState::kAwaitingNewDay},
      {"started at 00:59", JapanTimeToUnix(2026, 12, 8, 0, 59), false, 200, 24, SourceState::kAwaitingNewDay},
      {"started at 02:59", JapanTimeToUnix(2026, 12, 8, 2, 59), false, 200, 24, SourceState::kAwaitingNewDay},
      {"started at 00:20, the old day missing too", JapanTimeToUnix(2026, 12, 8, 0, 20), false, 404, 0,
       SourceState::kUpstreamFailed},
      {"started at 03:00", JapanTimeToUnix(2026, 12, 8, 3, 0), false, 200, 24, SourceState::kUpstreamFailed},
  };
  for (const NightCase& c : cases) {
    SCOPED_TRACE(c.name);
    gwtest::CapturedNotices alarms;
    SourceServer source;
    const std::string stamp = std::to_string(c.oldDayHours - 1) + ":55";
    source.ServeAt("_20261207.csv", c.oldDayHours > 0 ? KansaiDay7(c.oldDayHours, stamp.c_str()) : "no operator's file",
                   c.oldDayStatus);
    source.ServeAt("_20261208.csv", "no such file", 404);
    gwtest::TestBridgeOptions options = KansaiDated(source, c.start);
    options.alarmAfterSeconds = 600;
    TestBridge bridge(options);
    std::string line = bridge.poller.RefreshOnce();
    if (c.throughMidnight) {
      bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 5));
      line = bridge.poller.RefreshOnce();
    }
    const bool pastGrace = c.start >= JapanTimeToUnix(2026, 12, 8, 3, 0);
    EXPECT_EQ(source.Requests(), pastGrace ? 1 : 2) << "the old day's file once, then the new day's";
    EXPECT_THAT(source.LastTarget(), testing::EndsWith("/juyo_06_20261208.csv"));
    if (!c.throughMidnight && !pastGrace) {
      EXPECT_THAT(line, HasSubstr("/juyo_06_20261207.csv ")) << "both fetches said";
    }
    EXPECT_EQ(bridge.cache.Status()->state, c.state);
    if (c.state == SourceState::kUpstreamFailed) {
      EXPECT_THAT(line, HasSubstr("juyo_06_20261208.csv 404")) << "logged as a failure";
      continue;
    }
    EXPECT_THAT(line, Not(HasSubstr("juyo_06_20261208.csv"))) << "the expected wait is not logged";
    for (int64_t t = bridge.clock.UnixNow() + 1200; t < JapanTimeToUnix(2026, 12, 8, 3, 0); t += 1200) {
      bridge.clock.Set(t);
      bridge.poller.RefreshOnce();
      EXPECT_EQ(bridge.cache.Status()->state, SourceState::kAwaitingNewDay) << gw::bridge::UnixToJapanIso(t);
    }
    bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 3, 0) - 1);
    bridge.poller.RefreshOnce();
    EXPECT_THAT(alarms.Take(), testing::IsEmpty()) << "no alarm while the new day is awaited";
    bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 3, 0));
    EXPECT_THAT(bridge.poller.RefreshOnce(), HasSubstr("failed: the source answered HTTP 404"));
    EXPECT_EQ(bridge.cache.Status()->state, SourceState::kUpstreamFailed) << "the grace is over";
    // The alarm, once the bridge has run --alarm-after without a fresh reading.
    bridge.clock.Set(std::max(bridge.clock.UnixNow(), c.start + options.alarmAfterSeconds));
    bridge.poller.RefreshOnce();
    EXPECT_THAT(alarms.Take(), testing::ElementsAre(HasSubstr("warning kansai: alarm: no fresh reading")));
  }
}

// The grace after midnight ends with the new day's first reading: a
// missing file after it is a failure, however early in the day.
TEST(PollerDatedSource, AfterTheNewDaysFirstReadingAMissingFileIsAFailure) {
  SourceServer source;
  source.Serve(KansaiDay7(24, "23:55"));
  TestBridge bridge(KansaiDated(source, JapanTimeToUnix(2026, 12, 7, 23, 58)));
  bridge.poller.RefreshOnce();
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 5));
  source.Serve("no such file", 404);
  bridge.poller.RefreshOnce();
  EXPECT_THAT(KansaiMetrics(bridge), HasSubstr("{area=\"kansai\",result=\"awaiting_new_day\"} 1\n"))
      << "missing before the first actual: expected";

  OperatorCsv first;
  first.day = 8;
  first.hoursWithActual = 1;
  first.stampTime = "1:05";
  first.scalePercent = 60;  // Kansai's size
  source.Serve(first.Bytes());
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 1, 6));
  bridge.poller.RefreshOnce();
  ASSERT_EQ(bridge.HeldHour(), 0);

  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 1, 30));
  source.Serve("no such file", 404);
  bridge.poller.RefreshOnce();
  EXPECT_THAT(KansaiMetrics(bridge), HasSubstr("{area=\"kansai\",result=\"failed\"} 1\n"));
  EXPECT_THAT(KansaiMetrics(bridge), HasSubstr("{area=\"kansai\",result=\"awaiting_new_day\"} 1\n"))
      << "still only the one before the first actual";
}

// Before the new day's first actual only a missing file, or one without
// actuals, is expected: the source failing otherwise is a failure even at
// night, counted, logged and shown, whatever the fetch before it was.
TEST(PollerDatedSource, JustAfterMidnightOnlyAMissingOrEmptyFileIsExpected) {
  SourceServer source;
  source.Serve(KansaiDay7(24, "23:55"));
  TestBridge bridge(KansaiDated(source, JapanTimeToUnix(2026, 12, 7, 23, 58)));
  bridge.poller.RefreshOnce();
  OperatorCsv empty;
  empty.day = 8;
  empty.hoursWithActual = 0;
  empty.stampTime = "0:05";
  empty.scalePercent = 60;
  source.Serve(empty.Bytes());
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 5));
  EXPECT_EQ(bridge.poller.RefreshOnce(), "");
  EXPECT_EQ(bridge.cache.Status()->state, SourceState::kAwaitingNewDay);
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 7));
  EXPECT_EQ(bridge.poller.RefreshOnce(), "") << "the same file again (304) is still the wait";
  EXPECT_EQ(source.NotModified(), 1);
  EXPECT_EQ(bridge.cache.Status()->state, SourceState::kAwaitingNewDay);
  source.Serve("busy", 503);
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 10));
  EXPECT_THAT(bridge.poller.RefreshOnce(), HasSubstr("failed: the source answered HTTP 503"));
  EXPECT_EQ(bridge.cache.Status()->state, SourceState::kUpstreamFailed);
  EXPECT_THAT(gwtest::Get(bridge.port(), "/areas.json").body, HasSubstr("\"state\": \"upstream_failed\""));
  const std::string metrics = KansaiMetrics(bridge);
  EXPECT_THAT(metrics, HasSubstr("{area=\"kansai\",result=\"failed\"} 1\n"));
  EXPECT_THAT(metrics, HasSubstr("{area=\"kansai\",result=\"awaiting_new_day\"} 2\n"));
}

TEST(PollerDatedSource, AnUndatedSourceKeepsItsName) {
  SourceServer source;
  source.Serve(OperatorCsv{}.Bytes());
  TestBridge bridge(From(source));
  bridge.poller.RefreshOnce();
  bridge.clock.Set(JapanTimeToUnix(2026, 12, 8, 0, 5));
  source.Serve("no such file", 404);
  EXPECT_THAT(bridge.poller.RefreshOnce(), HasSubstr("failed"));
  EXPECT_EQ(source.LastTarget(), "/forecast/html/images/juyo-d1-j.csv");
}

struct OfferCase {
  const char* name;
  int hours;            // of 2026-12-07 with an actual
  const char* stamp;    // the file's stamp, on that day or, as "8 H:MM", on the next
  int64_t fetched;      // the bridge's start and first fetch
  int64_t asked;        // when the plug-in asks
  int failing;          // the source's answer from `asked` on; 0: none asked for
  int latest;           // /latest.json's status
};

// After midnight the plug-in starts a new day and would look again at any
// reading of the old day, and mail it twice: of the old day it is offered
// only the 23時 from a file stamped after midnight, which no one can have
// been offered before (AcrossMidnightTheOldDaysLastHourIsTakenAndKeptUntilTheFirst).
// Decided from the reading and the clock, so that a bridge started at night
// holds back as one that ran through midnight. The status page and the
// graphs still show the reading, and /healthz is good while the new day is
// awaited as expected.
TEST(PollerMidnight, ThePlugInIsOfferedNoReadingOfTheOldDayButItsLastHourWrittenAfterMidnight) {
  const int64_t at2359 = JapanTimeToUnix(2026, 12, 7, 23, 59);
  const int64_t at0000 = JapanTimeToUnix(2026, 12, 8, 0, 0);
  const OfferCase cases[] = {
      {"22時 before midnight", 23, "23:55", at2359, at2359, 0, 200},
      {"22時 at midnight", 23, "23:55", at2359, at0000, 0, 503},
      {"22時 to a bridge started at 00:40", 23, "23:55", JapanTimeToUnix(2026, 12, 8, 0, 40),
       JapanTimeToUnix(2026, 12, 8, 0, 40), 0, 503},
      {"23時 known before midnight", 24, "23:55", at2359, JapanTimeToUnix(2026, 12, 8, 0, 6), 0, 503},
      {"22時 in a file written after midnight", 23, "8 0:05", JapanTimeToUnix(2026, 12, 8, 0, 6),
       JapanTimeToUnix(2026, 12, 8, 0, 6), 0, 503},
      {"22時 held back while the source fails", 23, "23:55", at2359, JapanTimeToUnix(2026, 12, 8, 0, 10), 503, 503},
  };
  for (const OfferCase& c : cases) {
    SCOPED_TRACE(c.name);
    OperatorCsv file;
    file.hoursWithActual = c.hours;
    file.stampTime = c.stamp;
    if (c.stamp[0] == '8') file.stampDate = "2026/12/8", file.stampTime = c.stamp + 2;
    SourceServer source;
    source.Serve(file.Bytes());
    gwtest::TestBridgeOptions options = From(source);
    options.start = c.fetched;
    TestBridge bridge(options);
    ASSERT_THAT(bridge.poller.RefreshOnce(), HasSubstr("new reading"));
    bridge.clock.Set(c.asked);
    if (c.failing != 0) {
      source.Serve("busy", c.failing);
      bridge.poller.RefreshOnce();
    }
    const auto latest = gwtest::Get(bridge.port(), "/latest.json");
    EXPECT_EQ(latest.status, c.latest);
    EXPECT_EQ(gwtest::Get(bridge.port(), "/areas/tokyo/latest.json").body, latest.body);
    const std::string areas = gwtest::Get(bridge.port(), "/areas.json").body;
    EXPECT_THAT(areas, HasSubstr("\"status\": " + std::to_string(c.latest)));
    const auto health = gwtest::Get(bridge.port(), "/healthz");
    const std::string page = gwtest::Get(bridge.port(), "/").body;
    EXPECT_THAT(page, HasSubstr("class=\"figures\"")) << "the page still shows the reading";
    EXPECT_EQ(gwtest::Get(bridge.port(), "/areas/tokyo/day.gif").status, 200) << "and its graphs";
    if (c.latest == 200) {
      EXPECT_EQ(health.status, 200);
      continue;
    }
    EXPECT_THAT(latest.body, HasSubstr("\"error\": \"the latest reading, of 2026-12-07T2"));
    EXPECT_THAT(latest.body, HasSubstr(":00:00+09:00, is of the day before and is not offered again after midnight;"));
    EXPECT_THAT(latest.body, Not(HasSubstr("\"usage\"")));
    EXPECT_THAT(areas, Not(HasSubstr("\"usage\"")));
    if (c.failing != 0) {
      EXPECT_EQ(health.status, 503) << "the source fails and nothing is offered";
      EXPECT_THAT(latest.body, HasSubstr("\"state\": \"upstream_failed\", \"degraded\": false"));
      continue;
    }
    EXPECT_THAT(latest.body, HasSubstr("\"state\": \"awaiting_new_day\""));
    EXPECT_THAT(latest.body, HasSubstr("\"since\": \"" + gw::bridge::UnixToJapanIso(std::max(c.fetched, at0000))));
    EXPECT_EQ(health.status, 200) << health.body;
    EXPECT_THAT(health.body, HasSubstr(", not offered again after midnight; awaiting the new day since "));
    EXPECT_THAT(page, HasSubstr("data-state=\"awaiting_new_day\""));
    EXPECT_THAT(page, HasSubstr("新しい日のファイル待ち"));
    EXPECT_THAT(page, HasSubstr("前の日のこの値はプラグインに渡していません"));
  }
}

}  // namespace
