// What the bridge answers, decided without sockets: targets, refusals, the
// login, staleness, and /latest.json as the plug-in's own reader sees it.
#include "bridge/serving/responder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "bridge/cache/documents.h"
#include "bridge/reading/japan_time.h"
#include "bridge/serving/login.h"
#include "support/http_client.h"
#include "support/sample_day.h"
#include "text/text_regex.h"

namespace {

using namespace gw::bridge;
using gwtest::BasicCredentials;
using testing::HasSubstr;

std::shared_ptr<const Snapshot> SampleSnapshot() {
  return RenderSnapshot({gwtest::AfternoonReading(), DayFigures{}, "GIF89a-meter", "GIF89a-chart",
                         "https://operator.invalid/juyo-d1-j.csv?\"usage\": 1", 3 * 3600, FindArea("tokyo")});
}

// The six fields as the plug-in reads them.
std::array<int32_t, 6> PluginFields(const std::string& body) {
  gw::TextRegex regex;
  gw::WideString text = gw::Utf8ToWide(body);
  std::array<int32_t, 6> out{};
  const char16_t* names[] = {u"usage", u"capacity", u"year", u"month", u"day", u"hour"};
  for (size_t i = 0; i < 6; ++i) out[i] = regex.GetFieldNumber(text, names[i]);
  return out;
}

TEST(LatestJson, ThePluginsFieldReaderGetsTheSixNumbers) {
  const std::string body = LatestJson(gwtest::AfternoonReading(), "https://operator.invalid/a.csv", *FindArea("kansai"));
  EXPECT_EQ(PluginFields(body), (std::array<int32_t, 6>{3869, 4740, 2026, 12, 7, 14}));
  EXPECT_EQ(body.rfind("{\"usage\": 3869, \"capacity\": 4740, \"year\": 2026, \"month\": 12, \"day\": 7, "
                       "\"hour\": 14, \"usage_percent\": 81, ", 0), 0u) << body;
  EXPECT_THAT(body, HasSubstr("\"updated\": \"2026-12-07T14:55:00+09:00\""));
  EXPECT_THAT(body, HasSubstr(", \"area\": \"kansai\"}"));
}

TEST(LatestJson, ASourceWithQuotesStaysOneStringAfterTheSix) {
  auto snapshot = SampleSnapshot();
  EXPECT_THAT(snapshot->latest.body, HasSubstr(R"("source": "https://operator.invalid/juyo-d1-j.csv?\"usage\": 1")"));
  EXPECT_EQ(PluginFields(snapshot->latest.body)[0], 3869);
}

TEST(Target, PlainAndProxyStyle) {
  auto plain = ParseTarget("/latest.json?x=1");
  EXPECT_TRUE(plain.valid && !plain.proxyStyle);
  EXPECT_EQ(plain.path, "/latest.json");
  auto proxy = ParseTarget("HTTP://tepco-usage-api.appspot.com:80/latest.json");
  EXPECT_TRUE(proxy.valid && proxy.proxyStyle);
  EXPECT_EQ(proxy.path, "/latest.json");
  EXPECT_EQ(ParseTarget("http://example.invalid").path, "/");
  EXPECT_EQ(ParseTarget("http://example.invalid?/latest.json").path, "/");
  for (const char* bad : {"", "*", "latest.json", "ftp://x/latest.json", "http:///latest.json", "example:443"}) {
    EXPECT_FALSE(ParseTarget(bad).valid) << bad;
  }
  EXPECT_EQ(RouteOf("/images/meter/meter_setsuden.gif"), Route::kMeter);
  EXPECT_EQ(RouteOf("/forecast/html/images/juyo-j.gif"), Route::kChart);
  EXPECT_EQ(RouteOf("/latest.json/"), Route::kOther);
}

class ResponderTest : public testing::Test {
 protected:
  Reply Answer(const Request& request, std::shared_ptr<const Snapshot> snapshot, int64_t now = 0,
               const Responder* responder = nullptr) {
    areas_.cache(0).Publish(std::move(snapshot));
    AreaViews views(areas_);
    Reply reply;
    (responder ? *responder : open_).Respond(request, views, now ? now : fresh_, &reply);
    return reply;
  }

  ServedAreas areas_{{FindArea("tokyo")}};
  Metrics metrics_;
  Responder open_{metrics_, nullptr, 3 * 3600};
  int64_t fresh_ = JapanTimeToUnix(2026, 12, 7, 14, 58);
};

TEST_F(ResponderTest, ServesTheThreeDocumentsPlainOrProxyStyle) {
  auto snapshot = SampleSnapshot();
  for (const char* host : {"", "http://tepco-usage-api.appspot.com", "http://setsuden.yahoo.co.jp"}) {
    Reply latest = Answer({"GET", std::string(host) + "/latest.json"}, snapshot);
    EXPECT_EQ(latest.answer().status, 200);
    EXPECT_EQ(&latest.answer(), &snapshot->latest);
    EXPECT_EQ(Answer({"GET", std::string(host) + "/images/meter/meter_setsuden.gif"}, snapshot).answer().body,
              "GIF89a-meter");
    EXPECT_EQ(Answer({"HEAD", std::string(host) + "/forecast/html/images/juyo-j.gif"}, snapshot).answer().body,
              "GIF89a-chart");
  }
}

TEST_F(ResponderTest, RefusesEverythingElseAndForwardsNothing) {
  auto snapshot = SampleSnapshot();
  Reply connect = Answer({"CONNECT", "example.invalid:443"}, snapshot);
  EXPECT_EQ(connect.answer().status, 403);
  EXPECT_TRUE(connect.close);
  Reply post = Answer({"POST", "/latest.json"}, snapshot);
  EXPECT_EQ(post.answer().status, 405);
  EXPECT_THAT(post.answer().head, HasSubstr("Allow: GET, HEAD\r\n"));
  EXPECT_EQ(Answer({"GET", "http://example.invalid/index.html"}, snapshot).answer().status, 403);
  EXPECT_EQ(Answer({"GET", "/index.html"}, snapshot).answer().status, 404);
  EXPECT_EQ(Answer({"GET", "ftp://example.invalid/latest.json"}, snapshot).answer().status, 400);
}

// The guide is the program's own: the page at /guide/, each picture it shows
// beside it, and nothing else under that path, whatever the request names.
TEST_F(ResponderTest, ServesTheGuideAndEveryPictureItShows) {
  Reply page = Answer({"GET", "/guide/"}, nullptr);
  ASSERT_EQ(page.answer().status, 200);
  EXPECT_THAT(page.answer().head, HasSubstr("Content-Type: text/html; charset=utf-8\r\n"));
  EXPECT_THAT(page.answer().body, HasSubstr("<html lang=\"ja\">"));
  EXPECT_THAT(page.answer().body, HasSubstr("<title>Gridwren の使い方</title>"));
  EXPECT_THAT(page.answer().head, HasSubstr("Content-Security-Policy: default-src 'none'; img-src 'self'; "));
  EXPECT_THAT(page.answer().head, HasSubstr("X-Content-Type-Options: nosniff\r\n"));
  const std::string& html = page.answer().body;
  int pictures = 0;
  for (size_t at = html.find("<img src=\""); at != std::string::npos; at = html.find("<img src=\"", at + 1)) {
    const size_t start = at + 10;
    const std::string name = html.substr(start, html.find('"', start) - start);
    Reply picture = Answer({"GET", "/guide/" + name}, nullptr);
    EXPECT_EQ(picture.answer().status, 200) << name;
    EXPECT_THAT(picture.answer().head, HasSubstr("Content-Type: image/png\r\n")) << name;
    EXPECT_EQ(picture.answer().body.substr(1, 3), "PNG") << name;
    EXPECT_THAT(picture.answer().head, HasSubstr("X-Content-Type-Options: nosniff\r\n")) << name;
    ++pictures;
  }
  EXPECT_GE(pictures, 2);
  for (const char* other : {"/guide/nothing.png", "/guide/../latest.json", "/guide/./index.html",
                            "/guide/index.html/", "/guide//index.html", "/guide/%2e%2e/latest.json"}) {
    EXPECT_EQ(Answer({"GET", other}, nullptr).answer().status, 404) << other;
  }
}

// The guide and an area's page as people type them, without the slash, are
// redirected to it behind the same login; proxy-style they stay refused.
TEST_F(ResponderTest, APageWithoutItsSlashIsRedirectedBehindTheLogin) {
  Login login("office", "pw");
  Responder guarded(metrics_, &login, 3 * 3600);
  const std::string good = BasicCredentials("office:pw");
  for (const std::string path : {"/guide", "/areas/tokyo"}) {
    EXPECT_EQ(Answer({"GET", path}, nullptr, 0, &guarded).answer().status, 401) << path;
    EXPECT_EQ(Answer({"GET", "http://x" + path}, nullptr, 0, &guarded).answer().status, 407) << path;
    EXPECT_EQ(Answer({"GET", "http://x" + path, "", good}, nullptr, 0, &guarded).answer().status, 403) << path;
    for (const std::string query : {"", "?x=\"1\""}) {
      const Reply moved = Answer({"HEAD", path + query, good}, nullptr, 0, &guarded);
      EXPECT_EQ(moved.answer().status, 308) << path;
      EXPECT_THAT(moved.answer().head, HasSubstr("\r\nLocation: " + path + "/\r\n")) << path;
    }
  }
  EXPECT_EQ(Answer({"GET", "/areas/okinawa", good}, nullptr, 0, &guarded).answer().status, 404) << "not served";
  EXPECT_EQ(Answer({"GET", "/area"}, nullptr).answer().status, 404);
}

TEST_F(ResponderTest, NoReadingYetIsA503WithoutNumbers) {
  Reply latest = Answer({"GET", "/latest.json"}, nullptr);
  EXPECT_EQ(latest.answer().status, 503);
  EXPECT_THAT(latest.answer().head, HasSubstr("application/json"));
  EXPECT_THAT(latest.answer().body, HasSubstr("\"error\""));
  EXPECT_EQ(PluginFields(latest.answer().body), (std::array<int32_t, 6>{}));
  EXPECT_EQ(Answer({"GET", "/healthz"}, nullptr).answer().status, 503);
  EXPECT_EQ(Answer({"GET", "/images/meter/meter_setsuden.gif"}, nullptr).answer().status, 503);
  EXPECT_EQ(Answer({"GET", "/metrics"}, nullptr).answer().status, 200);
}

TEST_F(ResponderTest, AReadingOlderThanMaxAgeIsNotServed) {
  auto snapshot = SampleSnapshot();
  const int64_t hourStart = JapanTimeToUnix(2026, 12, 7, 14);
  EXPECT_EQ(Answer({"GET", "/latest.json"}, snapshot, hourStart + 3 * 3600).answer().status, 200);
  Reply stale = Answer({"GET", "/latest.json"}, snapshot, hourStart + 3 * 3600 + 1);
  EXPECT_EQ(stale.answer().status, 503);
  EXPECT_EQ(PluginFields(stale.answer().body), (std::array<int32_t, 6>{}));
  EXPECT_THAT(stale.answer().body, HasSubstr("older than 10800 s"));
  EXPECT_EQ(Answer({"GET", "/healthz"}, snapshot, hourStart + 4 * 3600).answer().status, 503);
  EXPECT_EQ(Answer({"GET", "/forecast/html/images/juyo-j.gif"}, snapshot, hourStart + 4 * 3600).answer().status, 503);
}

// /healthz is bad while any served area is stale, wherever it is listed.
TEST(ResponderHealth, OneStaleAreaMakesItBadWhereverItIsListed) {
  Metrics metrics;
  const Responder responder(metrics, nullptr, 3 * 3600);
  Reading late = gwtest::AfternoonReading();
  late.hour = 16;
  const auto fresh = RenderSnapshot({late, DayFigures{}, "", "", "", 3 * 3600, FindArea("tokyo")});
  const auto stale = SampleSnapshot();  // 14時: past --max-age at 17:30
  const struct {
    std::shared_ptr<const Snapshot> first, last;
    int status;
  } cases[] = {{stale, fresh, 503}, {fresh, stale, 503}, {fresh, fresh, 200}};
  for (const auto& c : cases) {
    ServedAreas areas({FindArea("tokyo"), FindArea("kansai")});
    areas.cache(0).Publish(c.first);
    areas.cache(1).Publish(c.last);
    AreaViews views(areas);
    Reply reply;
    responder.Respond({"GET", "/healthz"}, views, JapanTimeToUnix(2026, 12, 7, 17, 30), &reply);
    EXPECT_EQ(reply.answer().status, c.status) << reply.answer().body;
  }
}

TEST_F(ResponderTest, LoginIsAskedForInTheRequestsOwnTerms) {
  Login login("office", "s3cret:pw");
  Responder guarded(metrics_, &login, 3 * 3600);
  auto snapshot = SampleSnapshot();
  Reply proxy = Answer({"GET", "http://tepco-usage-api.appspot.com/latest.json"}, snapshot, 0, &guarded);
  EXPECT_EQ(proxy.answer().status, 407);
  EXPECT_THAT(proxy.answer().head, HasSubstr("Proxy-Authenticate: Basic realm=\"gridwren-bridge\""));
  Reply plain = Answer({"GET", "/latest.json"}, snapshot, 0, &guarded);
  EXPECT_EQ(plain.answer().status, 401);
  EXPECT_THAT(plain.answer().head, HasSubstr("WWW-Authenticate: Basic realm=\"Gridwren\""));
  EXPECT_EQ(Answer({"GET", "/nothing"}, snapshot, 0, &guarded).answer().status, 401) << "paths are not revealed";
  EXPECT_EQ(Answer({"GET", "/healthz"}, snapshot, 0, &guarded).answer().status, 200);

  const std::string good = BasicCredentials("office:s3cret:pw");
  EXPECT_EQ(Answer({"GET", "http://x/latest.json", "", good}, snapshot, 0, &guarded).answer().status, 200);
  EXPECT_EQ(Answer({"GET", "/latest.json", good}, snapshot, 0, &guarded).answer().status, 200);
  EXPECT_EQ(Answer({"GET", "http://x/latest.json", "", BasicCredentials("office:s3cret:p")}, snapshot, 0, &guarded)
                .answer().status, 407);
}

// Every path, plain and proxy-style, without the login, with a wrong one and
// with the right one in either header: only /healthz is open without it. The
// status pages and the guide are for a browser asking the bridge itself:
// proxy-style, they are refused like any other site's address.
TEST_F(ResponderTest, EveryDocumentNeedsTheLoginButHealth) {
  Login login("office", "pw");
  Responder guarded(metrics_, &login, 3 * 3600);
  auto snapshot = SampleSnapshot();
  const std::string good = BasicCredentials("office:pw"), wrong = BasicCredentials("office:pW");
  for (size_t r = 0; r < kRouteCount; ++r) {
    const Route route = static_cast<Route>(r);
    std::string path = route == Route::kOther ? "/nothing" : RoutePath(route);
    if (size_t at = path.find("{area}"); at != std::string::npos) path.replace(at, 6, "tokyo");
    const bool open = route == Route::kHealth;
    const int served = route == Route::kOther ? 404 : 200;
    for (const std::string host : {"", "http://tepco-usage-api.appspot.com"}) {
      const bool proxy = !host.empty();
      const int refused = open ? served : proxy ? 407 : 401;
      const std::string target = host + path;
      const bool page = route == Route::kPage || route == Route::kAreaPage || route == Route::kGuide;
      const int servedHere = proxy && (route == Route::kOther || page) ? 403 : served;
      EXPECT_EQ(Answer({"GET", target, "", ""}, snapshot, 0, &guarded).answer().status, open ? servedHere : refused)
          << target;
      EXPECT_EQ(Answer({"GET", target, wrong, wrong}, snapshot, 0, &guarded).answer().status,
                open ? servedHere : refused) << target;
      EXPECT_EQ(Answer({"GET", target, good, ""}, snapshot, 0, &guarded).answer().status, servedHere) << target;
      EXPECT_EQ(Answer({"HEAD", target, "", good}, snapshot, 0, &guarded).answer().status, servedHere) << target;
      EXPECT_EQ(Answer({"GET", target, "", ""}, snapshot).answer().status, servedHere) << "no login set: " << target;
    }
  }
}

TEST(Login, AcceptsOnlyTheExactPairInEitherEncoding) {
  Login login("事務所", "パスワード");
  EXPECT_TRUE(login.Accepts(BasicCredentials("事務所:パスワード")));
  EXPECT_TRUE(login.Accepts("  basic  " + BasicCredentials(gw::WideToCp932(u"事務所:パスワード")).substr(6)))
      << "the plug-in sends its settings in CP932";
  EXPECT_FALSE(login.Accepts(BasicCredentials("事務所:パスワー")));
  EXPECT_FALSE(login.Accepts(BasicCredentials("事務所:パスワードx")));
  EXPECT_FALSE(login.Accepts("Digest " + BasicCredentials("事務所:パスワード").substr(6)));
  EXPECT_FALSE(login.Accepts(""));
  EXPECT_FALSE(login.Accepts("Basic"));
}

TEST(Login, TakesOnlyTheCanonicalBase64OfTheRightPair) {
  Login login("office", "pw");
  const std::string token = BasicCredentials("office:pw").substr(6);  // b2ZmaWNlOnB3
  ASSERT_TRUE(login.Accepts("Basic " + token));
  std::string junked = "!!";
  for (char c : token) junked += std::string(1, c) + "*";
  for (const std::string& bad : {junked, token + "==junk!!", token + "=", token.substr(0, 6) + " " + token.substr(6),
                                 token + "\r\n", token.substr(0, token.size() - 1)}) {
    EXPECT_FALSE(login.Accepts("Basic " + bad)) << bad;
  }
}

// The password is the file's first line, however the editor ended it: a
// file saved on Windows ends it with CR LF, and the CR is no part of it.
TEST(Login, APasswordFileGivesItsFirstLineWithoutTheLineBreak) {
  const std::string path = testing::TempDir() + "gridwren-login-password-" + std::to_string(getpid());
  for (const char* written : {"secret\r\n", "secret\n", "secret", "secret\r\nnext line\r\n"}) {
    std::ofstream(path, std::ios::binary) << written;
    std::string password, error;
    ASSERT_TRUE(ReadPasswordFile(path, &password, &error)) << error;
    EXPECT_TRUE(Login("user", password).Accepts(BasicCredentials("user:secret"))) << written;
  }
  for (const char* empty : {"\r\n", ""}) {
    std::ofstream(path, std::ios::binary) << empty;
    std::string password, error;
    EXPECT_FALSE(ReadPasswordFile(path, &password, &error));
    EXPECT_THAT(error, HasSubstr("no password"));
  }
  std::remove(path.c_str());
}

TEST(Login, ConstantTimeEqualComparesEveryByte) {
  EXPECT_TRUE(ConstantTimeEqual("abc", "abc"));
  EXPECT_FALSE(ConstantTimeEqual("abc", "abd"));
  EXPECT_FALSE(ConstantTimeEqual("abc", "ab"));
  EXPECT_FALSE(ConstantTimeEqual("", "a"));
  EXPECT_TRUE(ConstantTimeEqual(std::string("a\0b", 3), std::string("a\0b", 3)));
  EXPECT_FALSE(ConstantTimeEqual(std::string("a\0b", 3), std::string("a\0c", 3)));
}

TEST(JapanTime, IsUtcPlusNineAllYear) {
  EXPECT_EQ(JapanTimeToUnix(1970, 1, 1, 9), 0);
  EXPECT_EQ(JapanTimeToUnix(2026, 12, 7, 14, 55), 1796622900);
  EXPECT_EQ(JapanTimeToUnix(2026, 7, 1, 0) - JapanTimeToUnix(2026, 1, 1, 0), 181 * 86400) << "no daylight saving";
  EXPECT_EQ(UnixToJapanIso(JapanTimeToUnix(2028, 2, 29, 23, 59)), "2028-02-29T23:59:00+09:00");
  EXPECT_EQ(UnixToJapanIso(0), "1970-01-01T09:00:00+09:00");
}

}  // namespace
