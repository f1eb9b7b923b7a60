// The HTTP front against hostile or broken surroundings, over real sockets:
// a log whose reader stalls, a flood from one address, silent sockets from
// many, a crowd near the cap, bodies nobody asked for, doubtful framing, and
// new readings reaching every serving thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bridge/log/event_log.h"
#include "support/captured_log.h"
#include "support/http_client.h"
#include "support/operator_csv.h"
#include "support/test_bridge.h"

namespace {

using gwtest::Connection;
using gwtest::Get;
using gwtest::OperatorCsv;
using gwtest::TestBridge;
using testing::HasSubstr;

// A sink that takes nothing until released: a paused terminal, a full pipe.
struct StalledSink : gw::bridge::LogSink {
  struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
  };
  explicit StalledSink(std::shared_ptr<Gate> g) : gate(std::move(g)) {}
  void Write(std::string_view) override {
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->opened.wait(lock, [&] { return gate->open; });
  }
  void Flush() override {}
  std::shared_ptr<Gate> gate;
};

TEST(FrontLog, AStalledLogReaderNeitherStopsServingNorStopping) {
  auto gate = std::make_shared<StalledSink::Gate>();
  gw::bridge::SetLogSink(std::make_unique<StalledSink>(gate));
  const uint64_t droppedBefore = gw::bridge::LogLinesDropped();
  {
    TestBridge bridge;
    ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
    // Far more request lines than the queue holds, on keep-alive connections.
    std::vector<std::unique_ptr<Connection>> clients;
    for (int c = 0; c < 4; ++c) clients.push_back(std::make_unique<Connection>(bridge.port(), 10));
    for (int i = 0; i < 2500; ++i) {
      for (auto& client : clients) {
        ASSERT_TRUE(client->Send("GET /latest.json HTTP/1.1\r\nHost: x\r\n\r\n"));
        ASSERT_EQ(client->Receive().status, 200) << "request " << i;
      }
    }
    EXPECT_EQ(Get(bridge.port(), "/healthz").status, 200);
    EXPECT_GT(gw::bridge::LogLinesDropped(), droppedBefore);
    EXPECT_THAT(Get(bridge.port(), "/metrics").body, HasSubstr("gridwren_bridge_log_lines_dropped_total "));
  }  // the bridge stops with its log still stalled
  {
    std::lock_guard<std::mutex> lock(gate->mutex);
    gate->open = true;
    gate->opened.notify_all();
  }
  gw::bridge::SetLogSink(gw::bridge::MakeStandardOutputSink());
}

// A request line is logged inside one pair of quotes, on one line: a quote
// or a byte that is not printable ASCII in the target is masked. (The HTTP
// parser refuses a target with a space or a control byte before it is read.)
TEST(FrontLog, ARequestTargetStaysInsideItsQuotes) {
  gwtest::CapturedLog log;
  TestBridge bridge;
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  const std::pair<const char*, const char*> targets[] = {
      {"/t1\"\"_200_0_B", "/t1??_200_0_B"},
      {"/t2\xc2\x9b[31m\xe6\x9d\xb1", "/t2??[31m???"},
  };
  for (const auto& [target, masked] : targets) {
    Connection client(bridge.port());
    ASSERT_TRUE(client.Send(std::string("GET ") + target + " HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(client.Receive().status, 404) << target;
    const std::string line = log.AwaitLine(std::string("\"GET ") + std::string(masked).substr(0, 3));
    EXPECT_THAT(line, HasSubstr(std::string(" \"GET ") + masked + "\" 404 ")) << target;
    EXPECT_EQ(std::count(line.begin(), line.end(), '"'), 2) << line;
  }
}

TEST(FrontLimits, AFloodFromOneAddressLeavesOtherClientsServed) {
  gwtest::TestBridgeOptions options;
  options.maxConnections = 48;
  options.maxConnectionsPerClient = 16;
  options.threads = 4;
  TestBridge bridge(options);
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  // Slowloris from 127.0.0.1: headers begun, never finished.
  std::vector<std::unique_ptr<Connection>> flood;
  for (int i = 0; i < 200; ++i) {
    flood.push_back(std::make_unique<Connection>(bridge.port(), 5, "127.0.0.1"));
    flood.back()->Send("GET /latest.json HTTP/1.1\r\nHo");
  }
  // Another client is answered every time while the flood holds its places.
  for (int i = 0; i < 40; ++i) {
    Connection probe(bridge.port(), 5, "127.0.0.2");
    probe.Send("GET /latest.json HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_EQ(probe.Receive().status, 200) << "probe " << i;
  }
  // Those over the cap were closed at once, unread, not left waiting.
  int ended = 0;
  for (size_t i = 16; i < flood.size(); ++i) ended += flood[i]->EndedByServer() ? 1 : 0;
  EXPECT_EQ(ended, 184);
  EXPECT_EQ(bridge.metrics.Connections(gw::bridge::ConnectionEvent::kRefusedClientCap), 184u);
  EXPECT_THAT(bridge.metrics.Render({}, 0),
              HasSubstr("gridwren_bridge_connections_refused_total{cap=\"per_client\"} 184\n"));
}

// Sockets that connect and send nothing, from several addresses, up to the
// cap: those that waited longest make room for a client with a request, and
// none stays longer than the head bound (shorter once the cap is near).
TEST(FrontLimits, SilentConnectionsMakeRoomAndGoWithinSeconds) {
  using Seconds = std::chrono::duration<double>;
  gwtest::TestBridgeOptions options;
  options.maxConnections = 32;
  options.maxConnectionsPerClient = 8;
  TestBridge bridge(options);
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<Connection>> silent;
  const std::vector<std::string> addresses = {"127.0.0.9", "127.0.0.10", "127.0.0.11", "127.0.0.12", "127.0.0.13"};
  auto open = [&](const std::string& from, int count) {
    for (int i = 0; i < count; ++i) silent.push_back(std::make_unique<Connection>(bridge.port(), 9, from));
  };
  for (const std::string& from : addresses) open(from, from == addresses.back() ? 1 : 7);
  // The 30th of 32 places, at the edge of the margin: the shorter bound.
  Connection late(bridge.port(), 9, "127.0.0.14");
  const auto lateArrived = std::chrono::steady_clock::now();
  for (const std::string& from : addresses) open(from, 1);
  // Room is made on the waiting connections' own threads a moment after
  // each arrival; a client arriving within that moment of a burst can find
  // the cap still full. The probes come after it, as real clients do.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (int i = 0; i < 10; ++i) {
    Connection probe(bridge.port(), 5, "127.0.0.2");
    probe.Send("GET /latest.json HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_EQ(probe.Receive().status, 200) << "probe " << i;
  }
  // Each bound is told from the next longer one by the time halfway between
  // them, which leaves a loaded machine seconds of slack.
  EXPECT_TRUE(late.EndedByServer());
  EXPECT_LT(Seconds(std::chrono::steady_clock::now() - lateArrived).count(),
            (gw::bridge::kHeadSecondsCrowded + gw::bridge::kHeadSeconds) / 2.0);
  int ended = 0;
  for (auto& s : silent) ended += s->EndedByServer() ? 1 : 0;
  EXPECT_EQ(ended, 34);
  EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(),
            (gw::bridge::kHeadSeconds + gw::bridge::kIdleSeconds) / 2.0)
      << "well short of the idle bound";
}

TEST(FrontLimits, NearTheCapTheConnectionIdleLongestMakesRoom) {
  gwtest::TestBridgeOptions options;
  options.maxConnections = 8;
  TestBridge bridge(options);
  std::vector<std::unique_ptr<Connection>> clients;
  for (int i = 0; i < 8; ++i) {
    clients.push_back(std::make_unique<Connection>(bridge.port(), 5));
    clients.back()->Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_EQ(clients.back()->Receive().status, 503) << "answered and kept alive: " << i;
  }
  // The eighth filled the cap: the first, idle longest, was closed for room
  // (well before the idle bound of 10 s).
  EXPECT_TRUE(clients[0]->ClosedByServer());
  for (size_t i = 1; i < clients.size(); ++i) {
    clients[i]->Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(clients[i]->Receive().status, 503) << "still open: " << i;
  }
  EXPECT_EQ(bridge.metrics.Connections(gw::bridge::ConnectionEvent::kIdleClosed), 1u);
}

class FrontRequests : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(bridge_.Take(OperatorCsv{}.Bytes())); }
  TestBridge bridge_;
};

TEST_F(FrontRequests, ARequestWithABodyEndsItsConnection) {
  for (const std::string& request :
       {std::string("POST /latest.json HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc"),
        std::string("GET /latest.json HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello"),
        std::string("GET /latest.json HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n")}) {
    Connection c(bridge_.port());
    // The body looks like a request of its own; it must not be served as one.
    c.Send(request + "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
    auto answer = c.Receive();
    EXPECT_NE(answer.status, 0) << request;
    EXPECT_EQ(answer.headers["connection"], "close") << request;
    EXPECT_TRUE(c.ClosedByServer()) << "nothing after the answer: " << request;
  }
}

TEST_F(FrontRequests, ALargeUnwantedBodyIsReadAwaySoTheAnswerIsNotReset) {
  Connection c(bridge_.port());
  const std::string body(256 * 1024, 'x');
  ASSERT_TRUE(c.Send("POST /latest.json HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\n\r\n" + body));
  EXPECT_EQ(c.Receive().status, 405);
  EXPECT_TRUE(c.EndsWithoutReset());
}

TEST_F(FrontRequests, FramingThatCannotBeTrustedGets400AndAClose) {
  for (const std::string& head : {
           std::string("GET /latest.json HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, gzip\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                       "Transfer-Encoding: gzip\r\n"),
           std::string("GET /latest.json HTTP/1.0\r\nTransfer-Encoding: chunked\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: x\r\nHost: y\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: a b\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: x/latest.json\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: user@x\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost:\r\n"),
           std::string("GET http://x/latest.json HTTP/1.1\r\nHost: x\r\nHost: x\r\n"),
       }) {
    Connection c(bridge_.port());
    c.Send(head + "\r\nGET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
    auto answer = c.Receive();
    EXPECT_EQ(answer.status, 400) << head;
    EXPECT_EQ(answer.headers["connection"], "close") << head;
    EXPECT_TRUE(c.ClosedByServer()) << head;
  }
  // What clients do send is served: the plug-in's proxy-style requests (with
  // or without Host), plain ones with a name, an address or a port, HTTP/1.0.
  for (const std::string& head : {
           std::string("GET http://tepco-usage-api.appspot.com/latest.json HTTP/1.1\r\n"
                       "Host: tepco-usage-api.appspot.com\r\nProxy-Connection: Keep-Alive\r\n"),
           std::string("GET http://tepco-usage-api.appspot.com/latest.json HTTP/1.1\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: [::1]:8080\r\n"),
           std::string("GET /latest.json HTTP/1.1\r\nHost: bridge.example-office.jp\r\n"),
           std::string("GET /latest.json HTTP/1.0\r\n"),
       }) {
    Connection c(bridge_.port());
    c.Send(head + "\r\n");
    EXPECT_EQ(c.Receive().status, 200) << head;
  }
}

// Each serving thread keeps its own copy of the snapshot: a new reading must
// reach every one of them, on new connections and on kept-alive ones.
TEST(FrontCache, ANewReadingReachesEveryServingThread) {
  gwtest::TestBridgeOptions options;
  options.threads = 4;
  TestBridge bridge(options);
  ASSERT_TRUE(bridge.Take(OperatorCsv{}.Bytes()));
  // Connections go to the threads in turn: eight reach each thread twice.
  std::vector<std::unique_ptr<Connection>> kept;
  for (int i = 0; i < 8; ++i) {
    kept.push_back(std::make_unique<Connection>(bridge.port()));
    kept.back()->Send("GET /latest.json HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_THAT(kept.back()->Receive().body, HasSubstr("\"hour\": 14,"));
  }
  OperatorCsv later;
  later.stampTime = "15:55";
  later.hoursWithActual = 16;
  bridge.clock.Set(gw::bridge::JapanTimeToUnix(2026, 12, 7, 15, 58));
  ASSERT_TRUE(bridge.Take(later.Bytes()));
  for (int i = 0; i < 8; ++i) {
    EXPECT_THAT(Get(bridge.port(), "/latest.json").body, HasSubstr("\"hour\": 15,")) << "new connection " << i;
    kept[static_cast<size_t>(i)]->Send("GET /latest.json HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_THAT(kept[static_cast<size_t>(i)]->Receive().body, HasSubstr("\"hour\": 15,")) << "kept alive " << i;
  }
}

}  // namespace
