// The command line as a user types it, and the one-line refusals of bad usage.
#include "bridge/options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using gw::bridge::Options;
using gw::bridge::ParseOptions;
using testing::HasSubstr;

std::string Refusal(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  EXPECT_FALSE(ParseOptions(args, &o, &error));
  EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
  return error;
}

TEST(Options, DefaultsAreTheOperatorAndLocalhost) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({}, &o, &error));
  EXPECT_EQ(o.address, "127.0.0.1");
  EXPECT_EQ(o.port, 8080);
  EXPECT_EQ(o.source, "https://www.tepco.co.jp/forecast/html/images/juyo-d1-j.csv");
  EXPECT_EQ(o.refreshSeconds, 300);
  EXPECT_EQ(o.maxAgeSeconds, 10800);
  EXPECT_EQ(o.maxConnections, 1024u);
}

TEST(Options, EveryOptionInBothSpellings) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--listen", "[::1]:0", "--port-file=p", "--source", "http://127.0.0.1:1/a.csv",
                            "--refresh=1", "--max-age", "60", "--user", "u", "--password-file", "pw",
                            "--font", "f.ttf", "--max-connections", "8"},
                           &o, &error))
      << error;
  EXPECT_EQ(o.address, "::1");
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.portFile, "p");
  EXPECT_EQ(o.source, "http://127.0.0.1:1/a.csv");
  EXPECT_EQ(o.refreshSeconds, 1);
  EXPECT_EQ(o.maxAgeSeconds, 60);
  EXPECT_EQ(o.user, "u");
  EXPECT_EQ(o.passwordFile, "pw");
  EXPECT_EQ(o.font, "f.ttf");
  EXPECT_EQ(o.maxConnections, 8u);
}

TEST(Options, BadUsageIsNamed) {
  EXPECT_THAT(Refusal({"--port", "80"}), HasSubstr("unknown option '--port'"));
  EXPECT_THAT(Refusal({"--refresh"}), HasSubstr("needs a value"));
  EXPECT_THAT(Refusal({"--refresh", "0"}), HasSubstr("--refresh"));
  EXPECT_THAT(Refusal({"--refresh", "5s"}), HasSubstr("whole seconds"));
  EXPECT_THAT(Refusal({"--listen", "8080"}), HasSubstr("an IP address and a port"));
  EXPECT_THAT(Refusal({"--listen", "localhost:8080"}), HasSubstr("--listen"));
  EXPECT_THAT(Refusal({"--listen", "127.0.0.1:65536"}), HasSubstr("--listen"));
  EXPECT_THAT(Refusal({"--source", "file:///etc/passwd"}), HasSubstr("http"));
  EXPECT_THAT(Refusal({"--user", "u"}), HasSubstr("go together"));
  EXPECT_THAT(Refusal({"--max-connections", "0"}), HasSubstr("--max-connections"));
  EXPECT_THAT(Refusal({"extra"}), HasSubstr("unknown option 'extra'"));
}

TEST(Options, HelpWinsOverTheRest) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--help", "--bogus"}, &o, &error));
  EXPECT_TRUE(o.help);
}

}  // namespace

namespace {

// The service's flags mean the same on every platform: they take no value,
// keep the other options, and exclude each other.
TEST(Options, ServiceFlagsKeepTheOtherOptions) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--install-service", "--listen", "0.0.0.0:8080", "--refresh", "60"}, &o, &error)) << error;
  EXPECT_TRUE(o.installService);
  EXPECT_FALSE(o.runAsService);
  EXPECT_EQ(o.address, "0.0.0.0");
  EXPECT_EQ(o.refreshSeconds, 60);
  Options service;
  ASSERT_TRUE(ParseOptions({"--service", "--refresh", "60"}, &service, &error)) << error;
  EXPECT_TRUE(service.runAsService);
  EXPECT_THAT(Refusal({"--install-service", "--uninstall-service"}), HasSubstr("exclude each other"));
  EXPECT_THAT(Refusal({"--install-service", "--refresh", "0"}), HasSubstr("--refresh"));
}

// The address check is the same on both platforms now that it is Asio's:
// a scoped IPv6 address or a name is still refused.
TEST(Options, ListenTakesOnlyPlainAddresses) {
  EXPECT_THAT(Refusal({"--listen", "[fe80::1%eth0]:8080"}), HasSubstr("--listen"));
  EXPECT_THAT(Refusal({"--listen", "1.2.3:8080"}), HasSubstr("--listen"));
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--listen", "[::]:0"}, &o, &error)) << error;
  EXPECT_EQ(o.address, "::");
}

}  // namespace
