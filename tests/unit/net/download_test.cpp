#include "net/download.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "net/http_errors_posix.h"
#include "net/password.h"
#include "support/canned_server.h"
#include "support/fake_host.h"
#include "support/local_feed_server.h"

namespace gw {
// Native only: the time-out without data, shortened for tests.
void SetStallSecondsForTesting(int seconds);
// Both builds: the total deadline, shortened for tests.
void SetDownloadDeadlineForTesting(int seconds);
}  // namespace gw

namespace {

using gw::HResult;
using gw::WideString;
using gwtest::LocalFeedServer;

constexpr HResult kCannotConnect = static_cast<HResult>(0x80072EFDu);
constexpr HResult kConnectionReset = static_cast<HResult>(0x80072EFFu);
constexpr HResult kTimedOut = static_cast<HResult>(0x80072EE2u);
// The address the proxy tests ask for; only the proxy ever sees it.
constexpr char kRemote[] = "http://usage.example.invalid";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The bytes of the server's size and huge bodies: byte i is i*7 mod 251.
bool IsPattern(const std::string& body) {
  for (size_t i = 0; i < body.size(); ++i) {
    if (static_cast<unsigned char>(body[i]) != i * 7 % 251) return false;
  }
  return true;
}

class DownloadTest : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
  gw::SettingsStore store{gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath};
  std::string destination = host.tempFolder + "body.bin";

  void SetText(const char16_t* name, const WideString& text) { ASSERT_EQ(store.SetString(name, text), 0); }
  void UseProxy(int port) {
    SetText(gw::setting::kServer, u"127.0.0.1");
    ASSERT_EQ(store.SetDword(gw::setting::kPort, static_cast<uint32_t>(port)), 0);
  }
  void SetCredentials(const WideString& user, const WideString& plainPassword) {
    SetText(gw::setting::kUser, user);
    SetText(gw::setting::kPassword, gw::ConvertPassword(plainPassword, gw::kPasswordEncode));
  }
  HResult Get(const std::string& url, const std::string& path) {
    return gw::DownloadToFile(gw::Utf8ToWide(url), gw::Utf8ToWide(path), store);
  }
  HResult Get(const std::string& url) { return Get(url, destination); }
};

TEST_F(DownloadTest, ProxyTextIsServerColonSignedPort) {
  EXPECT_EQ(gw::ReadProxyServer(store), std::nullopt);
  SetText(gw::setting::kServer, u"");
  EXPECT_EQ(gw::ReadProxyServer(store), std::nullopt) << "an empty server sets no proxy";
  SetText(gw::setting::kServer, u"proxy.local");
  EXPECT_EQ(gw::ReadProxyServer(store), WideString(u"proxy.local:0")) << "an absent port reads as 0";
  ASSERT_EQ(store.SetDword(gw::setting::kPort, 8080), 0);
  EXPECT_EQ(gw::ReadProxyServer(store), WideString(u"proxy.local:8080"));
  ASSERT_EQ(store.SetDword(gw::setting::kPort, 0xFFFFFFFFu), 0);
  EXPECT_EQ(gw::ReadProxyServer(store), WideString(u"proxy.local:-1"));
}

TEST_F(DownloadTest, BodyReplacesTheFileExactlyWhateverTheStatus) {
  LocalFeedServer server({"/big=size:1234567", "/empty=empty"});
  UseProxy(server.port());
  struct Case {
    const char* path;
    size_t size;  // 0 when only the content is checked
    const char* contains;
  } cases[] = {
      {"/latest.json", 0, "\"capacity\": 4000"},
      {"/no/such/document", 0, "404"},
      {"/big", 1234567, ""},
      {"/empty", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    // 0xFF is in none of the bodies, so any of it left over shows.
    std::ofstream(destination, std::ios::binary) << std::string(2000000, '\xFF');
    ASSERT_EQ(Get(std::string(kRemote) + c.path), gw::kSOk);
    std::string body = ReadAll(destination);
    EXPECT_EQ(body.find('\xFF'), std::string::npos) << "old content left behind";
    if (c.size) {
      EXPECT_EQ(body.size(), c.size);
      EXPECT_TRUE(IsPattern(body));
    }
    EXPECT_NE(body.find(c.contains), std::string::npos);
    EXPECT_EQ(server.Requests().back().target, std::string(kRemote) + c.path) << "not sent to the proxy";
  }
  EXPECT_TRUE(ReadAll(destination).empty());
}

TEST_F(DownloadTest, ProxyCredentialsAnswerTheProxysChallenge) {
  LocalFeedServer server({"proxyauth:gw:s3cret"});
  UseProxy(server.port());
  struct Case {
    const char16_t* user;
    const char16_t* password;
    const char* answer;
    std::optional<std::string> lastAuthorization;
  } cases[] = {
      {u"gw", u"s3cret", "\"usage\"", "Basic Z3c6czNjcmV0"},
      {u"gw", u"wrong", "407", "Basic Z3c6d3Jvbmc="},
      {u"gw", u"", "407", std::nullopt},
      {u"", u"s3cret", "407", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(gw::WideToUtf8(c.user) + "/" + gw::WideToUtf8(c.password));
    SetCredentials(c.user, c.password);
    ASSERT_EQ(Get(std::string(kRemote) + "/latest.json"), gw::kSOk) << "a 407 page is still a body";
    EXPECT_NE(ReadAll(destination).find(c.answer), std::string::npos) << ReadAll(destination);
    EXPECT_EQ(server.Requests().back().proxyAuthorization, c.lastAuthorization);
  }
}

// Only the plug-in's settings choose the route: proxy variables in the
// environment point at a closed port and would make every request fail.
TEST_F(DownloadTest, EnvironmentProxiesAreIgnored) {
  LocalFeedServer server;
  std::string closed = "http://127.0.0.1:" + std::to_string(gwtest::UnusedLocalPort());
  setenv("http_proxy", closed.c_str(), 1);
  setenv("no_proxy", "127.0.0.1", 1);
  std::string direct = "http://127.0.0.1:" + std::to_string(server.port()) + "/latest.json";
  SetCredentials(u"gw", u"s3cret");
  HResult withoutServer = Get(direct);
  std::string origin = "http://127.0.0.1:" + std::to_string(gwtest::UnusedLocalPort()) + "/latest.json";
  UseProxy(server.port());
  HResult withServer = Get(origin);
  unsetenv("http_proxy");
  unsetenv("no_proxy");

  EXPECT_EQ(withoutServer, gw::kSOk) << "credentials alone must not route through any proxy";
  EXPECT_EQ(withServer, gw::kSOk) << "the set proxy must be used even for hosts in no_proxy";
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "/latest.json");
  EXPECT_EQ(requests[0].proxyAuthorization, std::nullopt) << "no proxy, so nothing to authorise";
  EXPECT_EQ(requests[1].target, origin);
}

TEST_F(DownloadTest, FailuresAreNegativeCodesAndSettingsAreReadAfresh) {
  LocalFeedServer server({"/reset=reset", "/huge=huge:40M"});
  UseProxy(gwtest::UnusedLocalPort());
  EXPECT_EQ(Get(std::string(kRemote) + "/latest.json"), kCannotConnect);

  UseProxy(server.port());
  EXPECT_EQ(Get(std::string(kRemote) + "/latest.json"), gw::kSOk) << "the new port must be read";
  EXPECT_EQ(Get(std::string(kRemote) + "/reset"), kConnectionReset);

  EXPECT_EQ(Get(std::string(kRemote) + "/huge"), gw::kEFileTooLarge);
  std::string partial = ReadAll(destination);
  EXPECT_GT(partial.size(), 0u) << "the partial file is left for the caller";
  EXPECT_LE(partial.size(), gw::kMaxDownloadBytes);
  EXPECT_TRUE(IsPattern(partial));

  EXPECT_LT(Get(std::string(kRemote) + "/latest.json", host.tempFolder + "missing/body.bin"), 0);
  EXPECT_FALSE(std::filesystem::exists(host.tempFolder + "missing"));
}

TEST_F(DownloadTest, TimesOutOnlyWhenNoDataComes) {
  // The time-out runs from the last data, not over the whole transfer: a
  // slow answer within it arrives, a silent server times out, also on a
  // connection kept from the download before, which is never connected anew.
  gw::SetStallSecondsForTesting(2);
  LocalFeedServer server({"/slow=delay:1", "/silent=hang"});
  UseProxy(server.port());
  EXPECT_EQ(Get(std::string(kRemote) + "/slow"), gw::kSOk);
  EXPECT_EQ(Get(std::string(kRemote) + "/silent"), kTimedOut);
  gw::SetStallSecondsForTesting(30);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].client, requests[1].client) << "the connection was not kept";
}

// Bytes that are no HTTP response at all, such as the greeting of an SSH
// server on the port given as the proxy, are an invalid server response,
// whether the other side then closes or waits; a redirect to a scheme that
// is not followed stays an unrecognised scheme.
TEST_F(DownloadTest, AnswersThatAreNoHttpAreInvalidResponses) {
  using gwtest::CannedServer;
  const std::string banner = "SSH-2.0-OpenSSH_9.2\r\n";
  gw::SetStallSecondsForTesting(2);
  struct Case {
    const char* what;
    CannedServer server;
    uint32_t expected;
  } cases[] = {
      {"banner, then close", {banner, CannedServer::Then::kClose}, 0x80072F78},
      {"banner, then wait", {banner, CannedServer::Then::kHold}, 0x80072F78},
      {"redirect to ftp",
       {"HTTP/1.1 302 Found\r\nLocation: ftp://files.example.invalid/latest.json\r\nContent-Length: 0\r\n\r\n",
        CannedServer::Then::kHold},
       0x80072EE6},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    UseProxy(c.server.port());
    EXPECT_EQ(static_cast<uint32_t>(Get(std::string(kRemote) + "/latest.json")), c.expected);
  }
  gw::SetStallSecondsForTesting(30);
}

// The production deadline, checked on its own: whatever the tests below
// shorten it to, a user's download ends two minutes after it began.
TEST(DownloadDeadline, IsTwoMinutesUnlessATestShortensIt) {
  EXPECT_EQ(gw::kDownloadDeadlineSeconds, 120);
  EXPECT_EQ(gw::DownloadDeadlineSeconds(), 120);
  EXPECT_EQ(gw::kEDownloadTimedOut, kTimedOut);
}

// Restores the production deadline however the test ends.
class ShortDeadline {
 public:
  explicit ShortDeadline(int seconds) { gw::SetDownloadDeadlineForTesting(seconds); }
  ~ShortDeadline() { gw::SetDownloadDeadlineForTesting(gw::kDownloadDeadlineSeconds); }
};

// A server that sends a byte every fifth of a second is never silent long
// enough for the time-out without data: only the deadline ends it.
TEST_F(DownloadTest, TotalDeadlineEndsATrickleThatNeverStalls) {
  ShortDeadline deadline(4);
  LocalFeedServer server({"/trickle=trickle:0.2", "/latest.json=trickle:0.002"});
  UseProxy(server.port());
  EXPECT_EQ(Get(std::string(kRemote) + "/trickle"), kTimedOut);
  // A slow answer that is complete well within the deadline arrives whole.
  ASSERT_EQ(Get(std::string(kRemote) + "/latest.json"), gw::kSOk);
  EXPECT_NE(ReadAll(destination).find("\"source\": \"gridwren local feed\"}\n"), std::string::npos)
      << ReadAll(destination);
}

// A body announced over the cap is refused from its headers: the server
// never sends it, so waiting for it would end only with a time-out.
TEST_F(DownloadTest, BodyAnnouncedOverTheCapIsRefusedBeforeItArrives) {
  LocalFeedServer server({"/announced=announce:40M", "/fits=announce:32M"});
  UseProxy(server.port());
  const std::string fresh = host.tempFolder + "announced.bin";
  EXPECT_EQ(Get(std::string(kRemote) + "/announced", fresh), gw::kEFileTooLarge);
  EXPECT_FALSE(std::filesystem::exists(fresh)) << "nothing of the body was taken";
  // Exactly the cap is allowed: that one waits for its body, in vain.
  gw::SetStallSecondsForTesting(1);
  EXPECT_EQ(Get(std::string(kRemote) + "/fits", fresh), kTimedOut);
  gw::SetStallSecondsForTesting(30);
}

// The host's exit cancels a download in progress, and no new one is sent.
TEST_F(DownloadTest, CancellingEndsTheDownloadInProgressAndSendsNoMore) {
  LocalFeedServer server({"/trickle=trickle:0.2"});
  UseProxy(server.port());
  std::thread exit([&] {
    while (server.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gw::SetDownloadsAborted(true);
  });
  HResult inProgress = Get(std::string(kRemote) + "/trickle");
  exit.join();
  HResult later = Get(std::string(kRemote) + "/latest.json");
  gw::SetDownloadsAborted(false);
  EXPECT_EQ(inProgress, gw::kEDownloadCancelled);
  EXPECT_EQ(later, gw::kEDownloadCancelled);
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(DownloadErrorMapping, CurlFailuresBecomeTheCodesWindowsUsersSee) {
  struct Case {
    CURLcode curl;
    uint32_t expected;
  } cases[] = {
      {CURLE_OK, 0},
      {CURLE_COULDNT_RESOLVE_HOST, 0x80072EE7},
      {CURLE_COULDNT_RESOLVE_PROXY, 0x80072EE7},
      {CURLE_COULDNT_CONNECT, 0x80072EFD},
      {CURLE_OPERATION_TIMEDOUT, 0x80072EE2},
      {CURLE_RECV_ERROR, 0x80072EFF},
      {CURLE_PARTIAL_FILE, 0x80072EFF},
      {CURLE_WEIRD_SERVER_REPLY, 0x80072F78},
      {CURLE_TOO_MANY_REDIRECTS, 0x80072F7C},
      {CURLE_UNSUPPORTED_PROTOCOL, 0x80072EE6},
      {CURLE_FILESIZE_EXCEEDED, 0x800700DF},
      {CURLE_OUT_OF_MEMORY, 0x8007000E},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(gw::HResultFromCurl(c.curl)), c.expected) << curl_easy_strerror(c.curl);
  }
  // No failure may ever read as success.
  for (int code = 1; code < CURL_LAST; ++code) {
    EXPECT_LT(gw::HResultFromCurl(static_cast<CURLcode>(code)), 0) << code;
  }
}

}  // namespace
