// A whole bridge process's parts serving two areas: each listener gives the
// plug-in its own area's documents, every listener serves every area through
// the plain API under the same login, and health covers both areas.
#include "bridge/bridge_parts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "support/http_client.h"
#include "support/operator_csv.h"
#include "support/source_server.h"
#include "support/test_bridge.h"

namespace {

using gwtest::Get;
using gwtest::OperatorCsv;
using gwtest::SourceServer;
using testing::HasSubstr;

const std::string kLogin = "Authorization: " + gwtest::BasicCredentials("office:pw");

class TwoAreas : public testing::Test {
 protected:
  void SetUp() override {
    tokyoSource_.Serve(OperatorCsv{}.Bytes());  // up to 14時
    OperatorCsv kansai;
    kansai.hoursWithActual = 14;  // up to 13時
    kansai.stampTime = "13:55";
    kansai.scalePercent = 60;  // Kansai's size
    kansaiSource_.Serve(kansai.Bytes());
    std::ofstream(password_) << "pw\n";
    gw::bridge::Options o;
    std::string error;
    ASSERT_TRUE(gw::bridge::ParseOptions({"--listen", "127.0.0.1:0", "--listen", "127.0.0.1:0=kansai", "--source",
                                          tokyoSource_.Url(), "--source", "kansai=" + kansaiSource_.Url(), "--user",
                                          "office", "--password-file", password_, "--max-connections", "50"},
                                         &o, &error))
        << error;
    parts_.emplace(o, clock_, 1);
    ports_ = parts_->Listen();
    parts_->Start();
    for (int i = 0; i < 500 && !(Held(0) && Held(1)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Held(0) && Held(1));
  }
  void TearDown() override { std::remove(password_.c_str()); }

  bool Held(size_t area) { return parts_->areas().cache(area).Current() != nullptr; }
  gwtest::HttpAnswer On(size_t listener, const std::string& target, bool login = true) {
    return Get(ports_.at(listener), target, login ? std::vector<std::string>{kLogin} : std::vector<std::string>{});
  }

  SourceServer tokyoSource_, kansaiSource_;
  std::string password_ = testing::TempDir() + "gridwren-areas-password";
  gwtest::FakeClock clock_{gwtest::DefaultNow()};
  std::optional<gw::bridge::BridgeParts> parts_;
  std::vector<uint16_t> ports_;
};

TEST_F(TwoAreas, EachListenerServesThePluginItsOwnArea) {
  ASSERT_EQ(ports_.size(), 2u);
  const auto tokyo = On(0, "http://tepco-usage-api.appspot.com/latest.json");
  const auto kansai = On(1, "http://tepco-usage-api.appspot.com/latest.json");
  EXPECT_THAT(tokyo.body, HasSubstr("\"hour\": 14,"));
  EXPECT_THAT(tokyo.body, HasSubstr("\"area\": \"tokyo\"}"));
  EXPECT_THAT(kansai.body, HasSubstr("\"hour\": 13,"));
  EXPECT_THAT(kansai.body, HasSubstr("\"area\": \"kansai\"}"));
  const auto tokyoMeter = On(0, "/images/meter/meter_setsuden.gif");
  const auto kansaiMeter = On(1, "/images/meter/meter_setsuden.gif");
  EXPECT_TRUE(kansaiMeter.body == parts_->areas().cache(1).Current()->meter.body);
  EXPECT_TRUE(tokyoMeter.body != kansaiMeter.body) << "each titled with its area";
  EXPECT_EQ(tokyoSource_.Requests(), 1) << "one upstream request per refresh per area";
  EXPECT_EQ(kansaiSource_.Requests(), 1);
}

TEST_F(TwoAreas, ThePlainApiServesEveryAreaOnEveryListenerBehindTheLogin) {
  for (size_t listener : {0u, 1u}) {
    EXPECT_EQ(On(listener, "/areas/kansai/latest.json", false).status, 401);
    EXPECT_EQ(On(listener, "/areas.json", false).status, 401);
    EXPECT_EQ(On(listener, "/areas/kansai/latest.json").body, On(1, "/latest.json").body);
    EXPECT_TRUE(On(listener, "/areas/tokyo/day.gif").body == On(0, "/forecast/html/images/juyo-j.gif").body);
    EXPECT_TRUE(On(listener, "/areas/kansai/meter.gif").body == On(1, "/images/meter/meter_setsuden.gif").body);
    EXPECT_EQ(On(listener, "http://x/areas/tokyo/latest.json").status, 200) << "proxy-style too";
    EXPECT_EQ(On(listener, "/areas/okinawa/latest.json").status, 404) << "an area not served";
    EXPECT_EQ(On(listener, "http://x/areas/okinawa/day.gif").status, 404);
    EXPECT_EQ(On(listener, "/areas/tokyo/other.gif").status, 404);
    EXPECT_EQ(On(listener, "/areas//latest.json").status, 404);
  }
  const auto areas = On(0, "/areas.json");
  EXPECT_EQ(areas.headers.at("content-type"), "application/json; charset=utf-8");
  EXPECT_THAT(areas.body, HasSubstr("\"tokyo\": {\"name\": \"tokyo\", \"display_name\": \"東京\", \"status\": 200, "
                                    "\"reading\": {\"usage\": " + std::to_string(OperatorCsv::Actual(14))));
  EXPECT_THAT(areas.body, HasSubstr("\"kansai\": {\"name\": \"kansai\", \"display_name\": \"関西\", \"status\": 200"));
}

// One address that opens sockets and sends nothing, on every listener: it
// gets a quarter of a listener's places in all, and others are answered.
TEST_F(TwoAreas, OneAddressHoldsAQuarterOfAListenerAcrossTheProcess) {
  EXPECT_THAT(parts_->Describe(ports_), HasSubstr("at most 50 connections per listener, 12 per client"));
  std::vector<std::unique_ptr<gwtest::Connection>> silent;
  for (size_t listener : {0u, 1u}) {
    for (int i = 0; i < 64; ++i) silent.push_back(std::make_unique<gwtest::Connection>(ports_[listener], 5, "127.0.0.9"));
    // Answered after the flood's connections, which were each taken in or
    // refused before it.
    EXPECT_EQ(On(listener, "/latest.json").status, 200) << listener;
  }
  EXPECT_EQ(parts_->metrics().Connections(gw::bridge::ConnectionEvent::kRefusedClientCap), 52u + 64u);
}

TEST_F(TwoAreas, HealthIsGoodOnlyWhileEveryAreaIsFresh) {
  auto health = On(0, "/healthz", false);
  EXPECT_EQ(health.status, 200);
  EXPECT_THAT(health.body, HasSubstr("tokyo: ok: reading of 2026-12-07T14:00:00+09:00"));
  EXPECT_THAT(health.body, HasSubstr("kansai: ok: reading of 2026-12-07T13:00:00+09:00"));
  // Kansai's 13時 is past --max-age (3 h) at 16:01; Tokyo's 14時 is not.
  clock_.Set(gw::bridge::JapanTimeToUnix(2026, 12, 7, 16, 1));
  health = On(1, "/healthz", false);
  EXPECT_EQ(health.status, 503);
  EXPECT_THAT(health.body, HasSubstr("tokyo: ok"));
  EXPECT_THAT(health.body, HasSubstr("kansai: the latest reading, of 2026-12-07T13:00:00+09:00, is older than"));
  EXPECT_EQ(On(0, "/latest.json").status, 200);
  EXPECT_EQ(On(1, "/latest.json").status, 503);
  const auto areas = On(0, "/areas.json");
  EXPECT_THAT(areas.body, HasSubstr("\"display_name\": \"関西\", \"status\": 503, \"error\": \"the latest reading"));
  const auto metrics = On(0, "/metrics").body;
  EXPECT_THAT(metrics, HasSubstr("gridwren_bridge_upstream_fetches_total{area=\"kansai\",result=\"ok\"} 1\n"));
  EXPECT_THAT(metrics, HasSubstr("gridwren_bridge_reading_age_seconds{area=\"tokyo\"} 7260\n"));
  EXPECT_THAT(metrics, HasSubstr("gridwren_bridge_reading_age_seconds{area=\"kansai\"} 10860\n"));
}

}  // namespace
