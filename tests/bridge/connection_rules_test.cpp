// The rules behind the front, without sockets: who may connect, how refusals
// are logged, which framing is trusted, and how many connections fit under
// the descriptor limit.
#include <sys/resource.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/beast/http.hpp>

#include "bridge/serving/client_limits.h"
#include "bridge/serving/descriptor_limit.h"
#include "bridge/serving/http_framing.h"
#include "bridge/serving/refusal_log.h"

namespace {

using namespace gw::bridge;
using testing::HasSubstr;
namespace http = boost::beast::http;

TEST(ClientLimits, EachClientGetsItsShareAndNoMore) {
  auto clients = std::make_shared<ClientTable>(2);
  ClientLimits limits(5, clients), otherListener(5, clients);
  EXPECT_EQ(limits.Admit("127.0.0.1"), Admission::kAdmitted);
  EXPECT_EQ(limits.Admit("127.0.0.1"), Admission::kAdmitted);
  EXPECT_EQ(limits.Admit("127.0.0.1"), Admission::kOverClientCap);
  EXPECT_EQ(limits.Admit("127.0.0.2"), Admission::kAdmitted);
  EXPECT_EQ(limits.Admit("127.0.0.2"), Admission::kAdmitted);
  EXPECT_EQ(limits.Admit("192.0.2.1"), Admission::kAdmitted);
  EXPECT_EQ(limits.Admit("192.0.2.2"), Admission::kOverConnectionCap);
  EXPECT_EQ(limits.Open(), 5u);
  limits.Release("127.0.0.1");
  EXPECT_EQ(limits.OpenFrom("127.0.0.1"), 1u);
  EXPECT_EQ(limits.Admit("127.0.0.1"), Admission::kAdmitted) << "a closed connection's place is free again";
  limits.Release("203.0.113.9");  // never admitted: changes nothing
  EXPECT_EQ(limits.Open(), 5u);
  // A client's share is one for the whole process, whichever listener it uses.
  EXPECT_EQ(otherListener.Admit("127.0.0.2"), Admission::kOverClientCap);
  EXPECT_EQ(otherListener.Admit("192.0.2.1"), Admission::kAdmitted);
  EXPECT_EQ(clients->OpenFrom("192.0.2.1"), 2u);
}

// A client holds at most a quarter of a listener, so that a few addresses
// cannot fill it; the cap is lowered with one line saying so.
TEST(ClientLimits, AClientHoldsAtMostAQuarterOfAListener) {
  struct Case {
    size_t wanted, listenerCap, fitted;
  };
  for (const Case& c : {Case{64, 1024, 64}, Case{64, 256, 64}, Case{64, 255, 63},
                        Case{64, 50, 12},  // --max-connections 50
                        Case{64, 27, 6},   // ten listeners under ulimit -n 400
                        Case{64, 3, 1}, Case{2, 8, 2}}) {
    std::string note;
    EXPECT_EQ(FitClientCap(c.wanted, c.listenerCap, &note), c.fitted) << c.listenerCap;
    if (c.fitted == c.wanted) {
      EXPECT_EQ(note, "") << c.listenerCap;
    } else {
      EXPECT_THAT(note, HasSubstr("--max-connections-per-client lowered from " + std::to_string(c.wanted) + " to " +
                                  std::to_string(c.fitted) + ": one client may hold at most a quarter of a listener's " +
                                  std::to_string(c.listenerCap) + " connections"));
    }
  }
}

TEST(ClientLimits, CrowdedWithinASixteenthOfTheCap) {
  ClientLimits small(2, std::make_shared<ClientTable>(2)), large(1024, std::make_shared<ClientTable>(2000));
  small.Admit("a");
  EXPECT_FALSE(small.Crowded());
  small.Admit("a");
  EXPECT_TRUE(small.Crowded());
  for (int i = 0; i < 959; ++i) large.Admit("a");
  EXPECT_FALSE(large.Crowded());
  large.Admit("a");
  EXPECT_TRUE(large.Crowded()) << "960 of 1024";
  EXPECT_EQ(large.ClosesForRoom(), 1u);
  large.Admit("a");
  EXPECT_EQ(large.ClosesForRoom(), 2u) << "inside the margin: it is won back";
  EXPECT_EQ(small.ClosesForRoom(), 1u) << "a cap under 16 has no margin";
}

TEST(ClientLimits, AClientIsItsIpv4AddressOrItsIpv6Network) {
  namespace ip = boost::asio::ip;
  EXPECT_EQ(ClientKey(ip::make_address("127.0.0.1")), "127.0.0.1");
  EXPECT_EQ(ClientKey(ip::make_address("::ffff:192.0.2.7")), "192.0.2.7");
  EXPECT_EQ(ClientKey(ip::make_address("2001:db8:1:2:aaaa::1")), ClientKey(ip::make_address("2001:db8:1:2::9")));
  EXPECT_NE(ClientKey(ip::make_address("2001:db8:1:2::1")), ClientKey(ip::make_address("2001:db8:1:3::1")));
  EXPECT_EQ(ClientKey(ip::make_address("::1")), "::/64");
}

TEST(RefusalLog, AtMostOneLineASecondWithTheCounts) {
  RefusalLog log(1024, 64);
  const auto t0 = RefusalLog::Clock::time_point() + std::chrono::hours(1);
  auto first = log.Note(ConnectionEvent::kRefusedClientCap, "127.0.0.1", t0);
  ASSERT_TRUE(first.has_value()) << "the first refusal is told at once";
  EXPECT_THAT(*first, HasSubstr("1 over --max-connections-per-client 64 (last from 127.0.0.1)"));
  for (int i = 1; i <= 1000; ++i) {
    const auto when = t0 + std::chrono::microseconds(999 * i);
    EXPECT_FALSE(log.Note(ConnectionEvent::kRefusedClientCap, "127.0.0.1", when)) << i;
  }
  EXPECT_FALSE(log.Note(ConnectionEvent::kRefusedConnectionCap, "192.0.2.7", t0 + std::chrono::milliseconds(999)));
  EXPECT_FALSE(log.Note(ConnectionEvent::kAcceptFailed, "Too many open files", t0 + std::chrono::milliseconds(999)));
  EXPECT_TRUE(log.Pending());
  EXPECT_EQ(log.NextLine(), t0 + std::chrono::seconds(1));
  EXPECT_FALSE(log.Due(t0 + std::chrono::milliseconds(999)));
  auto second = log.Due(t0 + std::chrono::seconds(1));
  ASSERT_TRUE(second.has_value());
  EXPECT_THAT(*second, HasSubstr("1000 over --max-connections-per-client 64"));
  EXPECT_THAT(*second, HasSubstr("1 at --max-connections 1024 (last from 192.0.2.7)"));
  EXPECT_THAT(*second, HasSubstr("accept failed 1 times (last: Too many open files)"));
  EXPECT_FALSE(log.Pending());
  EXPECT_FALSE(log.Due(t0 + std::chrono::seconds(5))) << "nothing new, nothing to say";
  EXPECT_TRUE(log.Note(ConnectionEvent::kAcceptFailed, "x", t0 + std::chrono::seconds(5)).has_value())
      << "after a quiet second, told at once again";
}

http::request_header<> Header(http::verb method, const std::string& target, unsigned version,
                              const std::vector<std::pair<std::string, std::string>>& fields) {
  http::request_header<> h;
  h.method(method);
  h.target(target);
  h.version(version);
  for (const auto& [name, value] : fields) h.insert(name, value);
  return h;
}

TEST(Framing, TransferEncodingMustEndInChunked) {
  auto with = [](std::vector<std::pair<std::string, std::string>> te) {
    te.insert(te.begin(), {"Host", "x"});
    return std::string(FramingFault(Header(http::verb::get, "/latest.json", 11, te)));
  };
  EXPECT_EQ(with({}), "");
  EXPECT_EQ(with({{"Transfer-Encoding", "chunked"}}), "");
  EXPECT_EQ(with({{"Transfer-Encoding", "gzip, CHUNKED"}}), "");
  EXPECT_EQ(with({{"Transfer-Encoding", "gzip"}, {"Transfer-Encoding", "chunked"}}), "");
  EXPECT_EQ(with({{"Transfer-Encoding", "gzip, deflate, chunked"}}), "") << "the last of three codings";
  EXPECT_THAT(with({{"Transfer-Encoding", "gzip"}}), HasSubstr("chunked"));
  EXPECT_THAT(with({{"Transfer-Encoding", "chunked, gzip"}}), HasSubstr("chunked"));
  EXPECT_THAT(with({{"Transfer-Encoding", "chunked"}, {"Transfer-Encoding", "identity"}}), HasSubstr("chunked"));
  EXPECT_THAT(with({{"Transfer-Encoding", "chunkedx"}}), HasSubstr("chunked"));
  EXPECT_THAT(std::string(FramingFault(Header(http::verb::get, "/", 10, {{"Transfer-Encoding", "chunked"}}))),
              HasSubstr("HTTP/1.0"));
}

TEST(Framing, HostOnceAndWellFormedUnlessTheTargetNamesTheHost) {
  auto fault = [](const std::string& target, unsigned version, std::vector<std::pair<std::string, std::string>> f) {
    return std::string(FramingFault(Header(http::verb::get, target, version, f)));
  };
  EXPECT_EQ(fault("/latest.json", 11, {{"Host", "x"}}), "");
  EXPECT_EQ(fault("http://tepco-usage-api.appspot.com/latest.json", 11, {}), "");
  EXPECT_EQ(fault("/latest.json", 10, {}), "");
  EXPECT_THAT(fault("/latest.json", 11, {}), HasSubstr("no Host"));
  EXPECT_THAT(fault("/latest.json", 11, {{"Host", "x"}, {"Host", "x"}}), HasSubstr("more than one"));
  EXPECT_THAT(fault("http://x/latest.json", 11, {{"Host", "x"}, {"Host", "y"}}), HasSubstr("more than one"));
  EXPECT_THAT(fault("/latest.json", 11, {{"Host", "x y"}}), HasSubstr("malformed"));
  for (const char* good : {"x", "tepco-usage-api.appspot.com", "127.0.0.1:8080", "[::1]", "[2001:db8::7]:80",
                           "xn--eckwd4c7c.example:8080", "a%41b", "under_score", "x:"}) {
    EXPECT_TRUE(IsValidHost(good)) << good;
  }
  for (const char* bad : {"", ":80", "a b", "a/b", "user@x", "x:80:80", "x:port", "x:123456", "[::1", "[zz::1]",
                          "[]", "[::1]x", "a%4", "a%zz", "\"x\"", "x\\y"}) {
    EXPECT_FALSE(IsValidHost(bad)) << bad;
  }
}

TEST(DescriptorLimit, TheCapFitsBesideTheReserve) {
  EXPECT_EQ(CapThatFits(1024, 1048576), 1024u);
  EXPECT_EQ(CapThatFits(1024, 1024), 1024u - kDescriptorReserve);
  EXPECT_EQ(CapThatFits(1024, kDescriptorReserve + 1), 1u);
  EXPECT_EQ(CapThatFits(1024, 10), 1u);
}

// Run in a child process: limits lowered there cannot be raised again.
int FitUnder(rlim_t soft, rlim_t hard, size_t wanted, std::string* note) {
  rlimit limit{soft, hard};
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  return static_cast<int>(FitConnectionCap(wanted, note));
}

TEST(DescriptorLimit, TheSoftLimitIsRaisedBeforeTheCapIsLowered) {
  // Earlier tests leave threads behind (the log's writer): start the child afresh.
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        std::string note;
        const int cap = FitUnder(256, 4096, 1024, &note);
        rlimit now{};
        getrlimit(RLIMIT_NOFILE, &now);
        std::_Exit(cap == 1024 && note.empty() && now.rlim_cur == 1024 + kDescriptorReserve ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        std::string note;
        const int cap = FitUnder(256, 512, 1024, &note);
        rlimit now{};
        getrlimit(RLIMIT_NOFILE, &now);
        std::fprintf(stderr, "%s\n", note.c_str());
        std::_Exit(cap == 512 - static_cast<int>(kDescriptorReserve) && now.rlim_cur == 512 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "--max-connections lowered from 1024 to 384: the file descriptor limit is 512");
}

}  // namespace
