// The HTTP front over real sockets on 127.0.0.1: refusals, the login, the
// bounds on headers, idle and slow clients and open connections, and the
// no-reading and stale answers as clients receive them.
#include "bridge/serving/front.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/http_client.h"
#include "support/operator_csv.h"
#include "support/test_bridge.h"

namespace {

using gwtest::Connection;
using gwtest::Get;
using gwtest::OperatorCsv;
using gwtest::TestBridge;
using testing::HasSubstr;

std::string BasicHeader(const std::string& name, const std::string& pair) {
  return name + ": " + gwtest::BasicCredentials(pair);
}

class FrontTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(bridge_.Take(OperatorCsv{}.Bytes())); }
  TestBridge bridge_;
};

TEST_F(FrontTest, ServesTheDocumentsPlainAndProxyStyle) {
  auto proxy = Get(bridge_.port(), "http://tepco-usage-api.appspot.com/latest.json");
  EXPECT_EQ(proxy.status, 200);
  EXPECT_EQ(proxy.headers["content-type"], "application/json; charset=utf-8");
  EXPECT_THAT(proxy.body, HasSubstr("\"usage\": " + std::to_string(OperatorCsv::Actual(14))));
  auto meter = Get(bridge_.port(), "http://setsuden.yahoo.co.jp/images/meter/meter_setsuden.gif");
  EXPECT_EQ(meter.status, 200);
  EXPECT_EQ(meter.body.substr(0, 4), "GIF8");
  auto chart = Get(bridge_.port(), "/forecast/html/images/juyo-j.gif");
  EXPECT_EQ(chart.headers["content-type"], "image/gif");
  EXPECT_EQ(chart.body, bridge_.cache.Current()->chart.body);
}

TEST_F(FrontTest, RefusesOtherPathsAndConnectAndForwardsNothing) {
  EXPECT_EQ(Get(bridge_.port(), "http://127.0.0.1:9/latest.jsonx").status, 403);
  EXPECT_EQ(Get(bridge_.port(), "http://example.invalid/").status, 403);
  EXPECT_EQ(Get(bridge_.port(), "/index.html").status, 404);
  Connection tunnel(bridge_.port());
  tunnel.Send("CONNECT example.invalid:443 HTTP/1.1\r\nHost: example.invalid:443\r\n\r\n");
  auto refused = tunnel.Receive();
  EXPECT_EQ(refused.status, 403);
  EXPECT_EQ(refused.headers["connection"], "close");
  EXPECT_TRUE(tunnel.ClosedByServer()) << "no tunnel stays open";
  Connection post(bridge_.port());
  post.Send("POST /latest.json HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc");
  EXPECT_EQ(post.Receive().status, 405);
}

TEST_F(FrontTest, KeepsConnectionsAliveAndAnswersPipelinedRequestsInOrder) {
  Connection c(bridge_.port());
  c.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\nHEAD /latest.json HTTP/1.1\r\nHost: x\r\n\r\n"
         "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(c.Receive().status, 200);
  auto head = c.Receive(true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.headers["content-length"], std::to_string(bridge_.cache.Current()->latest.body.size()));
  EXPECT_EQ(c.Receive().status, 404);
  c.Send("GET /latest.json HTTP/1.0\r\n\r\n");
  EXPECT_EQ(c.Receive().headers["connection"], "close");
  EXPECT_TRUE(c.ClosedByServer());
}

TEST_F(FrontTest, RefusesHeadersOverSixteenKibibytes) {
  Connection c(bridge_.port());
  c.Send("GET /latest.json HTTP/1.1\r\nHost: x\r\nX-Filler: " + std::string(17 * 1024, 'a') + "\r\n\r\n");
  auto answer = c.Receive();
  EXPECT_EQ(answer.status, 431);
  EXPECT_TRUE(c.ClosedByServer());
  auto fits = Get(bridge_.port(), "/latest.json", {"X-Filler: " + std::string(15 * 1024, 'a')});
  EXPECT_EQ(fits.status, 200);
}

TEST_F(FrontTest, SlowAndIdleClientsHoldOnlyTheirOwnConnection) {
  Connection idle(bridge_.port(), 30);
  Connection slow(bridge_.port(), 30);
  slow.Send("GET /latest.json HTTP/1.1\r\nHo");
  // Others are served at once while both wait.
  for (int i = 0; i < 20; ++i) ASSERT_EQ(Get(bridge_.port(), "/latest.json").status, 200);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 40 && bridge_.metrics.Render({}, 0).find("status=\"408\"") == std::string::npos; ++i) {
    slow.Send("s");  // a byte every half second, never the end of the headers
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(slow.ClosedByServer() || slow.Receive().status == 0);
  EXPECT_TRUE(idle.ClosedByServer()) << "closed after the head bound, not kept forever";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25)) << "the bound is 5 s";
}

// Near the cap, connections waiting for a request make room for arrivals.
// The two held here are not waiting: each has its next request begun, sent
// with the first so that it is there before the first is answered.
TEST(FrontLimits, ConnectionsOverTheCapAreClosedAtOnce) {
  gwtest::TestBridgeOptions options;
  options.maxConnections = 2;
  TestBridge bridge(options);
  const std::string heldOpen = "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\nGET /healthz HTTP/1.1\r\n";
  auto first = std::make_unique<Connection>(bridge.port());
  first->Send(heldOpen);
  ASSERT_EQ(first->Receive().status, 503) << "accepted and answered: no reading yet";
  Connection second(bridge.port());
  second.Send(heldOpen);
  ASSERT_EQ(second.Receive().status, 503) << "accepted and answered although the cap is reached with it";
  Connection third(bridge.port());
  third.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(third.Receive().status, 0) << "closed without an answer";
  first.reset();
  // The freed place goes to a new client once the front has seen the close.
  bool answered = false;
  for (int i = 0; i < 250 && !answered; ++i) {
    Connection again(bridge.port());
    again.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
    answered = again.Receive().status == 503;
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(answered) << "a closed connection's place was never given to a new client";
  // The request is counted once its answer has gone out, so the client can be
  // there first.
  const std::string counted = "path=\"/healthz\",status=\"503\"} 3";
  for (int i = 0; i < 250 && bridge.metrics.Render({}, 0).find(counted) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_THAT(bridge.metrics.Render({}, 0), HasSubstr(counted));
}

TEST(FrontLogin, ProxyStyleGets407PlainGets401HealthStaysOpen) {
  gwtest::TestBridgeOptions options;
  options.user = "office";
  options.password = "pw";
  TestBridge bridge(options);
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  auto proxy = Get(bridge.port(), "http://tepco-usage-api.appspot.com/latest.json");
  EXPECT_EQ(proxy.status, 407);
  EXPECT_THAT(proxy.headers["proxy-authenticate"], HasSubstr("Basic realm="));
  auto plain = Get(bridge.port(), "/latest.json");
  EXPECT_EQ(plain.status, 401);
  EXPECT_THAT(plain.headers["www-authenticate"], HasSubstr("Basic realm="));
  EXPECT_EQ(Get(bridge.port(), "/healthz").status, 200);
  EXPECT_EQ(Get(bridge.port(), "http://x/latest.json", {BasicHeader("Proxy-Authorization", "office:pw")}).status,
            200);
  EXPECT_EQ(Get(bridge.port(), "/latest.json", {BasicHeader("Authorization", "office:pw")}).status, 200);
  EXPECT_EQ(Get(bridge.port(), "http://x/latest.json", {BasicHeader("Proxy-Authorization", "office:pW")}).status,
            407);
  for (const char* path : {"/images/meter/meter_setsuden.gif", "/forecast/html/images/juyo-j.gif", "/metrics"}) {
    EXPECT_EQ(Get(bridge.port(), std::string("http://x") + path).status, 407) << path;
    EXPECT_EQ(Get(bridge.port(), path).status, 401) << path;
    EXPECT_EQ(Get(bridge.port(), std::string("http://x") + path, {BasicHeader("Proxy-Authorization", "office:pw")})
                  .status, 200) << path;
  }
}

TEST(FrontReading, NoReadingYetThenFreshThenStale) {
  TestBridge bridge;
  auto none = Get(bridge.port(), "/latest.json");
  EXPECT_EQ(none.status, 503);
  EXPECT_THAT(none.body, HasSubstr("no reading yet"));
  for (const char* figure : {"\"usage\"", "\"capacity\"", "\"year\"", "\"month\"", "\"day\"", "\"hour\""}) {
    EXPECT_THAT(none.body, testing::Not(HasSubstr(figure))) << "no figure, only the reason and its times";
  }
  EXPECT_EQ(Get(bridge.port(), "/healthz").status, 503);

  // Just after midnight: a sound file without actuals brings no reading.
  OperatorCsv midnight;
  midnight.hoursWithActual = 0;
  EXPECT_TRUE(bridge.Take(midnight.Bytes()));
  EXPECT_EQ(Get(bridge.port(), "/latest.json").status, 503);

  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  EXPECT_EQ(Get(bridge.port(), "/latest.json").status, 200);
  EXPECT_EQ(Get(bridge.port(), "/healthz").status, 200);
  bridge.clock.Set(gw::bridge::JapanTimeToUnix(2026, 12, 7, 17, 1));
  auto stale = Get(bridge.port(), "/latest.json");
  EXPECT_EQ(stale.status, 503);
  EXPECT_THAT(stale.body, HasSubstr("older than"));
  EXPECT_EQ(Get(bridge.port(), "/healthz").status, 503);
  EXPECT_THAT(Get(bridge.port(), "/metrics").body, HasSubstr("gridwren_bridge_reading_age_seconds{area=\"tokyo\"} 10860\n"));
}

}  // namespace
