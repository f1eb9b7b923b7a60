#include "monitor/check_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "base/clock.h"
#include "monitor/usage_reading.h"
#include "settings/defaults.h"
#include "support/fake_host.h"
#include "support/local_feed_server.h"

namespace {

using gw::HResult;
using gw::kEAbort;
using gw::kEFail;
using gwtest::LocalFeedServer;

constexpr int kToday = 7;

// A check against the local feed server, reached through the plug-in's own
// proxy settings, with the clock set to day 7, 14:00.
class CheckRunnerTest : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
  gw::SettingsStore store{gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath};
  gw::Lock lock;
  std::unique_ptr<LocalFeedServer> server;
  int today = kToday;

  void SetUp() override {
    gw::SetClockForTesting([this] { return gw::LocalTime{2026, 12, today, 14, 0}; });
    host.WriteMailBoxIni("sender@example.jp");
    gw::InitDefaults(store);
    store.SetString(u"TUAddress", gw::WideView(u"to@example.jp"));
    Serve(3650, 4000, 14);
  }
  void TearDown() override { gw::SetClockForTesting(nullptr); }

  void Serve(int usage, int capacity, int hour, int day = kToday, std::vector<std::string> faults = {}) {
    server.reset();
    std::vector<std::string> options = {"--usage",  std::to_string(usage), "--capacity", std::to_string(capacity),
                                        "--year",   "2026",                "--month",    "12",
                                        "--day",    std::to_string(day),   "--hour",     std::to_string(hour)};
    server = std::make_unique<LocalFeedServer>(faults, options);
    store.SetString(u"TUServer", gw::WideView(u"127.0.0.1"));
    store.SetDword(u"TUPort", static_cast<uint32_t>(server->port()));
  }

  HResult Check(bool test = false, const char** outcome = nullptr) {
    gw::CheckRunner runner(test ? 1 : 0, store, lock);
    EXPECT_EQ(runner.UsageCheck(), 0);
    if (outcome) *outcome = runner.outcome;
    return runner.result;
  }

  uint32_t Dword(const char16_t* name) { return store.GetDword(name); }
  size_t FeedRequests() {
    size_t n = 0;
    for (const auto& r : server->Requests()) n += r.target.find("/latest.json") != std::string::npos;
    return n;
  }
};

TEST_F(CheckRunnerTest, ReadingAtTheThresholdQueuesTheMail) {
  Serve(3600, 4000, 14);  // exactly 90 %
  EXPECT_EQ(Check(), 0);
  ASSERT_EQ(host.appended.size(), 1u);
  EXPECT_EQ(host.appended[0].folder, "MailBox1/!!!!Outbox\\");
  EXPECT_NE(host.appended[0].text.find("To: to@example.jp"), std::string::npos);
  EXPECT_NE(host.appended[0].text.find("<sender@example.jp>"), std::string::npos);
  ASSERT_EQ(host.commands, std::vector<std::string>{"Deliver"});
  EXPECT_EQ(Dword(u"TUCount"), 1u);
  EXPECT_EQ(Dword(u"TULastHour"), 14u);
  EXPECT_EQ(Dword(u"TULastDay"), static_cast<uint32_t>(kToday));
}

TEST_F(CheckRunnerTest, EveryGateStopsPeriodicChecksButNotTheTestMail) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
  } cases[] = {
      {"paused", [&] { store.SetDword(u"TUPause", 1); }},
      {"daily maximum", [&] { store.SetDword(u"TULastDay", kToday), store.SetDword(u"TUCount", 3); }},
      {"below threshold", [&] { store.SetString(u"TUPercent", gw::WideView(u"92")); }},
      {"same hour", [&] { store.SetDword(u"TULastDay", kToday), store.SetDword(u"TULastHour", 14); }},
      {"no periodic mail at all", [&] { store.SetString(u"TUMessages", gw::WideView(u"0")); }},
  };
  for (const auto& c : cases) {
    gw::InitDefaults(store);
    store.SetDword(u"TUPause", 0), store.SetDword(u"TUCount", 0), store.SetDword(u"TULastDay", 99);
    store.SetString(u"TUPercent", gw::WideView(u"90")), store.SetString(u"TUMessages", gw::WideView(u"3"));
    c.arrange();
    uint32_t countBefore = Dword(u"TUCount");
    size_t mails = host.appended.size();
    EXPECT_EQ(Check(), kEAbort) << c.name;
    EXPECT_EQ(host.appended.size(), mails) << c.name;
    c.arrange();
    EXPECT_EQ(Check(true), 0) << c.name;
    EXPECT_EQ(host.appended.size(), mails + 1) << c.name;
    // The test mail counts like any other notification.
    EXPECT_EQ(Dword(u"TUCount"), (countBefore == 3 ? 3u : 0u) + 1) << c.name;
  }
}

TEST_F(CheckRunnerTest, PausedCheckStopsBeforeAnyNetworkAccess) {
  store.SetDword(u"TUPause", 1);
  EXPECT_EQ(Check(), kEAbort);
  EXPECT_EQ(FeedRequests(), 0u);
  store.SetDword(u"TUPause", 2);  // only 1 means paused
  EXPECT_EQ(Check(), 0);
}

TEST(UsagePercent, IsTheTruncatedQuotientAndSaturates) {
  struct Case {
    int usage, capacity;
    uint32_t percent;
  } cases[] = {{3600, 4000, 90}, {3599, 4000, 89}, {4100, 4000, 102}, {29, 100, 28}, {1, 3, 33}};
  for (const auto& c : cases) EXPECT_EQ(gw::UsagePercent(c.usage, c.capacity), c.percent) << c.usage;
  // Far above capacity the figure saturates instead of overflowing.
  EXPECT_EQ(gw::UsagePercent(2147483647, 1), 4294967295u);
  EXPECT_EQ(gw::UsagePercent(5, 0), 0u);
}

TEST_F(CheckRunnerTest, FeedWithoutUsableFiguresFailsInBothModes) {
  struct Case {
    int usage, capacity;
  } cases[] = {{3650, 0}, {0, 4000}, {-5, 4000}, {3650, -4000}};
  for (const auto& c : cases) {
    Serve(c.usage, c.capacity, 14);
    EXPECT_EQ(Check(), kEFail) << c.usage << "/" << c.capacity;
    EXPECT_EQ(Check(true), kEFail) << c.usage << "/" << c.capacity;
  }
  EXPECT_TRUE(host.appended.empty());
  // 65536 x 65536 is 0 in 32 bits, yet both figures are real.
  Serve(65536, 65536, 14);
  EXPECT_EQ(Check(), 0);
}

TEST_F(CheckRunnerTest, EachReportedHourIsEvaluatedOnce) {
  Serve(3000, 4000, 14);  // 75 %: evaluated, below the threshold
  EXPECT_EQ(Check(), kEAbort);
  EXPECT_EQ(Dword(u"TULastHour"), 14u);
  Serve(3900, 4000, 14);  // same hour, now above: still not evaluated again
  const char* outcome = nullptr;
  EXPECT_EQ(Check(false, &outcome), kEAbort);
  EXPECT_STREQ(outcome, "same hour as the last reading");
  // The dialog's OK writes 88, so the next check evaluates the reading again.
  store.SetDword(u"TULastHour", 88);
  EXPECT_EQ(Check(), 0);
  Serve(3900, 4000, 15);
  EXPECT_EQ(Check(), 0);
  EXPECT_EQ(host.appended.size(), 2u);
}

TEST_F(CheckRunnerTest, NewLocalDayResetsTheCount) {
  store.SetDword(u"TULastDay", kToday);
  store.SetDword(u"TUCount", 3);
  EXPECT_EQ(Check(), kEAbort);
  today = kToday + 1;
  Serve(3900, 4000, 1, kToday + 1);
  EXPECT_EQ(Check(), 0);
  EXPECT_EQ(Dword(u"TUCount"), 1u);
  EXPECT_EQ(Dword(u"TULastDay"), static_cast<uint32_t>(kToday + 1));
}

TEST_F(CheckRunnerTest, StaleFeedCannotExceedTheDailyMaximum) {
  // The feed keeps reporting yesterday while the local clock runs through a
  // whole day, with a new hour in it every time: no more than TUMessages
  // mails may go out.
  for (int hour = 0; hour < 24; ++hour) {
    Serve(3900, 4000, hour, kToday - 1);
    Check();
    Check();
  }
  EXPECT_EQ(host.appended.size(), 3u);
  EXPECT_EQ(Dword(u"TUCount"), 3u);
}

TEST_F(CheckRunnerTest, FailedDownloadsEndWithTheirCodeAndCleanUp) {
  store.SetDword(u"TUPort", static_cast<uint32_t>(gwtest::UnusedLocalPort()));
  EXPECT_EQ(Check(), static_cast<HResult>(0x80072EFDu));
  EXPECT_EQ(Dword(u"TUCount"), 0u);
  EXPECT_EQ(Dword(u"TULastHour"), 99u);  // only the day-change reset happened

  // A graph that fails after the count: the hour is recorded and counted.
  Serve(3900, 4000, 14, kToday, {"/forecast/html/images/juyo-j.gif=reset"});
  const char* outcome = nullptr;
  EXPECT_LT(Check(false, &outcome), 0);
  EXPECT_STREQ(outcome, "forecast graph not fetched");
  EXPECT_EQ(Dword(u"TUCount"), 1u);
  EXPECT_EQ(Dword(u"TULastHour"), 14u);
  EXPECT_TRUE(host.appended.empty());
  for (const auto& path : host.tempFilesHandedOut) EXPECT_NE(access(path.c_str(), F_OK), 0) << path;
}

TEST_F(CheckRunnerTest, ErrorPageInPlaceOfAGraphIsStillEmbedded) {
  Serve(3900, 4000, 14, kToday, {"/images/meter/meter_setsuden.gif=status:404"});
  EXPECT_EQ(Check(), 0);
  EXPECT_EQ(host.appended.size(), 1u);
}

TEST_F(CheckRunnerTest, ChecksStartedTogetherRunOneAfterTheOther) {
  Serve(3900, 4000, 14, kToday, {"/latest.json=delay:0.5"});
  std::atomic<int> sent{0}, skipped{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&] {
      HResult r = Check();
      (r == 0 ? sent : skipped)++;
    });
  }
  for (auto& t : threads) t.join();
  // Without the lock all three would see a fresh hour and send.
  EXPECT_EQ(sent.load(), 1);
  EXPECT_EQ(skipped.load(), 2);
}

}  // namespace
