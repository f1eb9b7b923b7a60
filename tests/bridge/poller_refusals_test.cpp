// The poller on a fresh start, with nothing held to compare a file with:
// absurd figures are refused on their own day's and their area's terms, a
// 304 nobody asked for is no good read, and the first good file after them
// is taken at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <unistd.h>

#include "bridge/upstream/poller.h"
#include "support/operator_csv.h"
#include "support/source_server.h"
#include "support/test_bridge.h"

namespace {

using gwtest::OperatorCsv;
using gwtest::From;
using gwtest::SourceServer;
using gwtest::TestBridge;
using testing::HasSubstr;

// An Okinawa file of the generator with its latest hour's row replaced.
std::string OkinawaAt3(const std::string& row3) {
  const std::string out = ::testing::TempDir() + "gridwren_okinawa_" + std::to_string(getpid()) + ".csv";
  const std::string command = "python3 " GW_SOURCE_DIR "/tools/operator_csv.py --area okinawa --hours 4 "
                              "--date 2026-12-07 --stamp 3:55 --output " + out + " >/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  std::stringstream read;
  read << in.rdbuf();
  std::remove(out.c_str());
  std::string bytes = read.str();
  if (row3.empty()) return bytes;
  const size_t at = bytes.find("2026/12/7,3:00,");
  return at == std::string::npos ? std::string() : bytes.replace(at, bytes.find("\r\n", at) - at, row3);
}

// Tokyo's file with these figures for every hour with an actual.
std::string TokyoDay(int usage, int supply) {
  OperatorCsv csv;
  for (int hour = 0; hour < csv.hoursWithActual; ++hour) {
    csv.actualText[hour] = std::to_string(usage);
    csv.supplyText[hour] = std::to_string(supply);
    csv.percentText[hour] = std::to_string(usage * 100 / supply);
  }
  return csv.Bytes();
}

struct FreshStartCase {
  const char* area;
  std::string bad, good;
  int64_t now;
  const char* reason;
};

TEST(PollerRefusals, AbsurdFiguresAreRefusedOnAFreshStartAndAGoodFileIsTakenAtOnce) {
  const int64_t at355 = gw::bridge::JapanTimeToUnix(2026, 12, 7, 3, 56);
  const FreshStartCase cases[] = {
      {"okinawa", OkinawaAt3("2026/12/7,3:00,6700,67,98,6800"), OkinawaAt3(""), at355,
       "6700 万kW is above okinawa's bound of 240 万kW"},
      {"tokyo", TokyoDay(1, 1), OperatorCsv{}.Bytes(), gwtest::DefaultNow(), "1 万kW is below tokyo's bound of 643"},
      {"tokyo", TokyoDay(4500, 3000), OperatorCsv{}.Bytes(), gwtest::DefaultNow(),
       "usage 4500 of a supply of 3000 万kW (150.0 %) is beyond 120 %"},
  };
  for (const FreshStartCase& c : cases) {
    SCOPED_TRACE(c.reason);
    ASSERT_FALSE(c.bad.empty() || c.good.empty()) << "python3 tools/operator_csv.py";
    SourceServer source;
    source.Serve(c.bad);
    TestBridge bridge(From(source, c.area));
    bridge.clock.Set(c.now);
    EXPECT_THAT(bridge.poller.RefreshOnce(), HasSubstr(c.reason));
    EXPECT_EQ(bridge.cache.Current(), nullptr) << "nothing served";
    source.Serve(c.good);
    EXPECT_THAT(bridge.poller.RefreshOnce(), HasSubstr("new reading"));
    ASSERT_NE(bridge.cache.Current(), nullptr);
  }
}

// A source that answers 304 to a fetch that sent no validators has said
// nothing about any file: a failure with its reason, and no good read.
TEST(PollerRefusals, AnUnaskedNotModifiedIsAFailure) {
  SourceServer source;
  source.Serve("", 304);
  TestBridge bridge(From(source, "tokyo"));
  EXPECT_THAT(bridge.poller.RefreshOnce(), HasSubstr("304 Not Modified to a request without validators"));
  const std::string metrics = bridge.metrics.Render({{gw::bridge::FindArea("tokyo"), nullptr}}, 0);
  EXPECT_THAT(metrics, HasSubstr("upstream_fetches_total{area=\"tokyo\",result=\"failed\"} 1"));
  EXPECT_THAT(metrics, HasSubstr("upstream_fetches_total{area=\"tokyo\",result=\"ok\"} 0"));
}

}  // namespace
