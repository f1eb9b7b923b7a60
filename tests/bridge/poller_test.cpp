// The poller against a local stand-in for the operator's server: one request
// per refresh whatever the load, validators, and a held reading that only
// ever moves forward and survives every bad file.
#include "bridge/upstream/poller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/cache/documents.h"
#include "bridge/log/event_log.h"
#include "support/http_client.h"
#include "support/operator_csv.h"
#include "support/source_server.h"
#include "support/test_bridge.h"

namespace {

using gwtest::OperatorCsv;
using gwtest::From;
using gwtest::SourceServer;
using gwtest::TestBridge;
using testing::HasSubstr;
using testing::Not;

TEST(Poller, FetchesWithValidatorsAndAUserAgentNamingGridwren) {
  SourceServer source;
  source.Serve(OperatorCsv{}.Bytes());
  TestBridge bridge(From(source));
  bridge.poller.RefreshOnce();
  EXPECT_EQ(bridge.HeldHour(), 14);
  EXPECT_THAT(source.LastUserAgent(), HasSubstr("Gridwren"));
  bridge.poller.RefreshOnce();
  EXPECT_EQ(source.NotModified(), 1) << "an unchanged file is answered 304";
  EXPECT_EQ(bridge.HeldHour(), 14);
  EXPECT_THAT(bridge.metrics.Render({{gw::bridge::FindArea("tokyo"), nullptr}}, 0),
              HasSubstr("upstream_fetches_total{area=\"tokyo\",result=\"ok\"} 2"));
}

// Some servers send no ETag: their file is asked for with If-Modified-Since.
TEST(Poller, AServerWithOnlyLastModifiedIsAskedIfModifiedSince) {
  SourceServer source;
  source.SetLastModifiedOnly();
  source.Serve(OperatorCsv{}.Bytes());
  TestBridge bridge(From(source));
  bridge.poller.RefreshOnce();
  bridge.poller.RefreshOnce();
  EXPECT_EQ(source.NotModified(), 1) << "an unchanged file is answered 304";
  OperatorCsv later;
  later.stampTime = "14:56";
  bridge.clock.Set(gw::bridge::JapanTimeToUnix(2026, 12, 7, 14, 57));
  source.Serve(later.Bytes());
  bridge.poller.RefreshOnce();
  EXPECT_EQ(source.NotModified(), 1) << "a changed file is fetched whole";
  EXPECT_EQ(bridge.cache.Current()->reading.updated, "2026-12-07T14:56:00+09:00");
}

// Most servers send both validators: the next request carries both
// conditions, so that either kind of server can answer 304.
TEST(Poller, AServerWithBothValidatorsIsAskedWithBoth) {
  SourceServer source;
  source.SetValidators(true, true);
  source.Serve(OperatorCsv{}.Bytes());
  TestBridge bridge(From(source));
  bridge.poller.RefreshOnce();
  EXPECT_EQ(source.LastIfNoneMatch(), "");
  bridge.poller.RefreshOnce();
  EXPECT_NE(source.LastIfNoneMatch(), "");
  EXPECT_NE(source.LastIfModifiedSince(), "");
  EXPECT_EQ(source.NotModified(), 1);
}

// A server without validators answers every request whole: the same file
// again is an unchanged reading and a good fetch, not an older one.
TEST(Poller, TheSameFileAgainWithoutValidatorsIsUnchangedAndGood) {
  SourceServer source;
  source.SetValidators(false, false);
  source.Serve(OperatorCsv{}.Bytes());
  TestBridge bridge(From(source));
  bridge.poller.RefreshOnce();
  auto held = bridge.cache.Current();
  ASSERT_NE(held, nullptr);
  const int64_t later = gw::bridge::JapanTimeToUnix(2026, 12, 7, 15, 0);
  bridge.clock.Set(later);
  bridge.poller.RefreshOnce();
  EXPECT_EQ(source.NotModified(), 0);
  EXPECT_EQ(source.Requests(), 2);
  EXPECT_EQ(bridge.cache.Current(), held) << "nothing new to publish";
  const std::string metrics = bridge.metrics.Render({{gw::bridge::FindArea("tokyo"), nullptr}}, 0);
  EXPECT_THAT(metrics, HasSubstr("upstream_fetches_total{area=\"tokyo\",result=\"ok\"} 2"));
  EXPECT_THAT(metrics, HasSubstr("upstream_fetches_total{area=\"tokyo\",result=\"failed\"} 0"));
  EXPECT_THAT(metrics, HasSubstr("last_good_upstream_read_timestamp_seconds{area=\"tokyo\"} " +
                                 std::to_string(later) + "\n"));
}

TEST(Poller, ABadFileKeepsTheHeldReadingAndIsFetchedWholeAgain) {
  SourceServer source;
  source.Serve(OperatorCsv{}.Bytes());
  TestBridge bridge(From(source));
  bridge.poller.RefreshOnce();
  auto held = bridge.cache.Current();
  source.Serve("<html><body>503 Service Unavailable</body></html>");
  bridge.poller.RefreshOnce();
  bridge.poller.RefreshOnce();
  EXPECT_EQ(source.NotModified(), 0) << "a refused file's validators are not kept";
  source.Serve("error", 500);
  bridge.poller.RefreshOnce();
  // Three mebibytes are not even read whole: the transfer stops at 2 MiB.
  source.Serve(OperatorCsv{}.Bytes() + std::string(3 * 1024 * 1024, '0'));
  bridge.poller.RefreshOnce();
  EXPECT_EQ(bridge.cache.Current(), held) << "the same snapshot, untouched";
  EXPECT_THAT(bridge.metrics.Render({{gw::bridge::FindArea("tokyo"), nullptr}}, 0),
              HasSubstr("upstream_fetches_total{area=\"tokyo\",result=\"failed\"} 4"));
  EXPECT_EQ(gwtest::Get(bridge.port(), "/latest.json").status, 200);
}

TEST(Poller, AReadingNeverGoesBackInTime) {
  TestBridge bridge;
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  OperatorCsv older;
  older.hoursWithActual = 11;
  older.stampTime = "10:55";
  std::string outcome;
  EXPECT_FALSE(bridge.Take(older.Bytes(), &outcome));
  EXPECT_THAT(outcome, HasSubstr("older than the one held"));
  OperatorCsv earlierStamp;
  earlierStamp.stampTime = "14:50";
  EXPECT_FALSE(bridge.Take(earlierStamp.Bytes()));
  EXPECT_EQ(bridge.HeldHour(), 14);
  // Within the hour a later stamp may correct the figure.
  OperatorCsv corrected;
  corrected.stampTime = "15:00";
  corrected.actualText[14] = std::to_string(OperatorCsv::Actual(14) + 20);
  corrected.percentText[14] = std::to_string((OperatorCsv::Actual(14) + 20) * 100 / OperatorCsv::Supply(14));
  ASSERT_TRUE(bridge.Take(corrected.Bytes()));
  EXPECT_EQ(bridge.cache.Current()->reading.usage, OperatorCsv::Actual(14) + 20);
  OperatorCsv yesterday;
  yesterday.day = 6;
  yesterday.hoursWithActual = 24;
  EXPECT_FALSE(bridge.Take(yesterday.Bytes()));
}

TEST(Poller, AReadingAheadOfTheClockIsRefused) {
  TestBridge bridge;
  OperatorCsv tomorrow;
  tomorrow.day = 8;
  std::string outcome;
  EXPECT_FALSE(bridge.Take(tomorrow.Bytes(), &outcome));
  EXPECT_THAT(outcome, HasSubstr("future"));
  EXPECT_EQ(bridge.cache.Current(), nullptr);
}

// A file stamped ahead of the clock is refused, so that it never makes the
// correct file look older; a stamp a few minutes ahead is a clock's error.
TEST(Poller, AStampAheadOfTheClockIsRefusedAndLocksNothingOut) {
  TestBridge bridge;  // 14:55
  OperatorCsv ahead;
  ahead.stampTime = "15:30";
  std::string outcome;
  EXPECT_FALSE(bridge.Take(ahead.Bytes(), &outcome));
  EXPECT_THAT(outcome, HasSubstr("stamp (2026-12-07T15:30:00+09:00) lies in the future"));
  ahead.stampTime = "15:01";
  EXPECT_FALSE(bridge.Take(ahead.Bytes()));
  ahead.hoursWithActual = 0;
  EXPECT_FALSE(bridge.Take(ahead.Bytes())) << "even without a reading";
  OperatorCsv correct;
  EXPECT_TRUE(bridge.Take(correct.Bytes(), &outcome)) << outcome;
  EXPECT_EQ(bridge.HeldHour(), 14);
  OperatorCsv skewed;
  skewed.stampTime = "14:59";
  EXPECT_TRUE(bridge.Take(skewed.Bytes(), &outcome)) << outcome;
}

// The held reading is no measure of the next file: the operator may
// correct an hour's figure as far as a blackout or a restoration moves
// demand. Each file is judged on its own figures.
TEST(Poller, AFarCorrectionOfTheHeldHourIsTaken) {
  TestBridge bridge;
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  const int held = OperatorCsv::Actual(14);
  bridge.clock.Set(gw::bridge::JapanTimeToUnix(2026, 12, 7, 14, 59));
  int minute = 56;
  for (int usage : {held * 3 / 2 + 10, held / 5}) {
    OperatorCsv corrected;
    corrected.stampTime = "14:" + std::to_string(minute++);
    corrected.actualText[14] = std::to_string(usage);
    corrected.supplyText[14] = "7000";
    corrected.percentText[14] = std::to_string(usage * 100 / 7000);
    std::string outcome;
    EXPECT_TRUE(bridge.Take(corrected.Bytes(), &outcome)) << usage << ": " << outcome;
    EXPECT_EQ(bridge.cache.Current()->reading.usage, usage);
  }
}

TEST(Poller, NewReadingsReplaceTheDocumentsWhole) {
  TestBridge bridge;
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  auto first = bridge.cache.Current();
  OperatorCsv later;
  later.hoursWithActual = 16;
  later.stampTime = "15:55";
  bridge.clock.Set(gw::bridge::JapanTimeToUnix(2026, 12, 7, 15, 56));
  ASSERT_TRUE(bridge.Take(later.Bytes()));
  auto second = bridge.cache.Current();
  EXPECT_EQ(second->reading.hour, 15);
  EXPECT_THAT(second->latest.body, HasSubstr("\"hour\": 15,"));
  EXPECT_NE(second->meter.body, first->meter.body) << "the graphs are drawn again for the new reading";
  EXPECT_THAT(first->latest.body, HasSubstr("\"hour\": 14,")) << "a snapshot never changes once published";
}

class ThrowingDrawer final : public gw::bridge::ChartDrawer {
 public:
  std::string DrawMeter(const gw::bridge::Reading&, const std::string&) override {
    throw std::runtime_error("no font");
  }
  std::string DrawDay(const gw::bridge::Reading&, const gw::bridge::DayFigures&, const std::string&) override {
    return {};
  }
};

TEST(Poller, AGraphThatCannotBeDrawnKeepsTheHeldReading) {
  gwtest::FakeClock clock;
  clock.Set(gwtest::DefaultNow());
  gw::bridge::Cache cache;
  gw::bridge::Metrics metrics;
  ThrowingDrawer drawer;
  gw::bridge::Poller poller({gw::bridge::FindArea("tokyo"), "http://127.0.0.1:9/unused.csv", 3600}, cache, metrics,
                            drawer, clock);
  std::string outcome;
  EXPECT_FALSE(poller.Take(OperatorCsv{}.Bytes(), &outcome));
  EXPECT_THAT(outcome, HasSubstr("no font"));
  EXPECT_EQ(cache.Current(), nullptr);
}

// Many clients at once never cause more upstream requests: they are answered
// from memory, and the source sees one request per refresh.
TEST(Poller, ABurstOfClientsCausesNoUpstreamRequests) {
  SourceServer source;
  source.Serve(OperatorCsv{}.Bytes());
  source.SetDelayMs(200);
  TestBridge bridge(From(source));
  const auto start = std::chrono::steady_clock::now();
  bridge.poller.Start(std::chrono::seconds(1));
  while (!bridge.cache.Current()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // 32 keep-alive clients for about two and a half refresh periods.
  std::atomic<int> sent{0}, served{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 32; ++t) {
    clients.emplace_back([&] {
      gwtest::Connection c(bridge.port());
      while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(2500)) {
        c.Send("GET http://tepco-usage-api.appspot.com/latest.json HTTP/1.1\r\nHost: x\r\n\r\n");
        sent++;
        served += c.Receive().status == 200;
      }
    });
  }
  for (auto& c : clients) c.join();
  bridge.poller.Stop();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(served, sent) << "every client answered, from memory";
  EXPECT_GT(sent, 32);
  EXPECT_GE(source.Requests(), 2);
  EXPECT_LE(source.Requests(), static_cast<int>(seconds) + 1)
      << "at most one upstream request per refresh over " << seconds << " s";
}

TEST(Poller, StopEndsAFetchInProgress) {
  SourceServer source;
  source.Serve(OperatorCsv{}.Bytes());
  source.SetDelayMs(8000);
  TestBridge bridge(From(source));
  bridge.poller.Start(std::chrono::seconds(300));
  while (source.Requests() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto start = std::chrono::steady_clock::now();
  bridge.poller.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << "did not wait for the source";
  EXPECT_EQ(bridge.cache.Current(), nullptr);
}

}  // namespace
