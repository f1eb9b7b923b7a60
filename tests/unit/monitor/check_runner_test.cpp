#include "monitor/check_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "base/clock.h"
#include "monitor/usage_reading.h"
#include "net/download.h"
#include "settings/defaults.h"
#include "support/allocation_limit.h"
#include "support/fake_host.h"
#include "support/local_feed_server.h"

namespace gw {
void SetDownloadDeadlineForTesting(int seconds);
}  // namespace gw

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

  HResult Check(bool test = false, const char** outcome = nullptr) { return CheckOn(store, test, outcome); }
  HResult CheckOn(const gw::SettingsStore& settings, bool test, const char** outcome = nullptr) {
    gw::CheckRunner runner(test ? 1 : 0, settings, lock);
    EXPECT_EQ(runner.UsageCheck(), 0);
    if (outcome) *outcome = runner.outcome;
    return runner.result;
  }

  uint32_t Dword(const char16_t* name) { return store.GetDword(name); }
  size_t Requests(const char* path) {
    size_t n = 0;
    for (const auto& r : server->Requests()) n += r.target.find(path) != std::string::npos;
    return n;
  }
  size_t FeedRequests() { return Requests("/latest.json"); }
  size_t ImageRequests() { return Requests(".gif"); }
  bool TempFilesLeft() {
    for (const auto& path : host.tempFilesHandedOut) {
      if (access(path.c_str(), F_OK) == 0) return true;
    }
    return false;
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

// A graph is tens of kilobytes; one over 4 MiB ends the check, in both
// modes, before anything is encoded or queued.
TEST_F(CheckRunnerTest, GraphsOverFourMebibytesEndTheCheckWithoutMail) {
  struct Case {
    const char* fault;
    HResult result;
    const char* outcome;
  } cases[] = {
      {"/images/meter/meter_setsuden.gif=size:4M", 0, "notification queued"},
      {"/images/meter/meter_setsuden.gif=size:4194305", gw::kEFileTooLarge, "meter image too large"},
      {"/forecast/html/images/juyo-j.gif=size:5M", gw::kEFileTooLarge, "forecast graph too large"},
  };
  for (const auto& c : cases) {
    for (bool test : {false, true}) {
      SCOPED_TRACE(std::string(c.fault) + (test ? " (test mail)" : ""));
      Serve(3900, 4000, 14, kToday, {c.fault});
      store.SetDword(u"TULastHour", 88);
      store.SetDword(u"TUCount", 0);
      size_t mails = host.appended.size(), deliveries = host.commands.size();
      const char* outcome = nullptr;
      EXPECT_EQ(Check(test, &outcome), c.result);
      EXPECT_STREQ(outcome, c.outcome);
      size_t queued = c.result == 0 ? 1 : 0;
      EXPECT_EQ(host.appended.size(), mails + queued);
      EXPECT_EQ(host.commands.size(), deliveries + queued);
      EXPECT_FALSE(TempFilesLeft());
    }
  }
}

// Memory runs out while the mail is composed (the host's Base64 conversion
// of the second graph is its last call before): nothing reaches the host,
// neither a mail with an empty body nor a "Deliver", and the test mail
// reports the failure rather than success.
TEST_F(CheckRunnerTest, FailedCompositionQueuesNothing) {
  Serve(3900, 4000, 14, kToday, {"/images/meter/meter_setsuden.gif=size:1M"});
  for (bool test : {false, true}) {
    SCOPED_TRACE(test ? "test mail" : "periodic");
    store.SetDword(u"TULastHour", 88);
    int conversions = 0;
    std::optional<gwtest::AllocationLimit> limit;
    host.beforeBase64 = [&] {
      if (++conversions == 2) limit.emplace(size_t{1} << 20);
    };
    const char* outcome = nullptr;
    HResult result = Check(test, &outcome);
    limit.reset();
    host.beforeBase64 = nullptr;
    EXPECT_EQ(result, gw::kEOutOfMemory);
    EXPECT_STREQ(outcome, "the mail could not be composed");
    EXPECT_TRUE(host.appended.empty());
    EXPECT_TRUE(host.commands.empty());
    EXPECT_FALSE(TempFilesLeft());
  }
  // The same check with memory to spare sends its mail.
  store.SetDword(u"TULastHour", 88);
  EXPECT_EQ(Check(), 0);
  EXPECT_EQ(host.appended.size(), 1u);
}

// A registry key that refuses one value's writes, with the registry's code.
class RefusingKey final : public gw::RegistryKey {
 public:
  RefusingKey(std::unique_ptr<gw::RegistryKey> key, std::u16string refused)
      : key_(std::move(key)), refused_(std::move(refused)) {}
  std::optional<uint32_t> QuerySize(gw::WideView name) override { return key_->QuerySize(name); }
  bool Read(gw::WideView name, void* buffer, uint32_t capacity, uint32_t* size) override {
    return key_->Read(name, buffer, capacity, size);
  }
  HResult Write(gw::WideView name, uint32_t type, const void* data, uint32_t size) override {
    if (name == refused_) return kAccessDenied;
    return key_->Write(name, type, data, size);
  }
  static constexpr HResult kAccessDenied = static_cast<HResult>(0x80070005u);

 private:
  std::unique_ptr<gw::RegistryKey> key_;
  std::u16string refused_;
};

// The counters limit the mails; a check that cannot record one of them
// stops with the write's code before any graph is fetched or mail queued,
// in both modes, instead of mailing the same reading again and again.
TEST_F(CheckRunnerTest, CountersThatCannotBeWrittenStopTheCheckBeforeAnyMail) {
  struct Case {
    const char16_t* refused;
    uint32_t lastDay;  // kToday: no day change, whose reset writes first
    size_t feedRequests;
  } cases[] = {
      {u"TUCount", 99, 0},           // the day change's reset
      {u"TULastHour", 99, 0},        // the day change's reset
      {u"TULastDay", kToday, 1},     // recording the evaluation
      {u"TULastHour", kToday, 1},    // recording the evaluation
      {u"TUCount", kToday, 1},       // counting the notification
  };
  Serve(3900, 4000, 14);
  for (const auto& c : cases) {
    for (bool test : {false, true}) {
      SCOPED_TRACE(gw::WideToUtf8(c.refused) + " on day " + std::to_string(c.lastDay) + (test ? " (test)" : ""));
      store.SetDword(u"TULastDay", c.lastDay);
      store.SetDword(u"TULastHour", 88);
      store.SetDword(u"TUCount", 0);
      gw::SettingsStore refusing([&] {
        return std::make_unique<RefusingKey>(gw::OpenRegistryKey(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath),
                                             c.refused);
      });
      size_t feeds = FeedRequests();
      const char* outcome = nullptr;
      EXPECT_EQ(CheckOn(refusing, test, &outcome), RefusingKey::kAccessDenied);
      EXPECT_STREQ(outcome, "settings could not be written");
      EXPECT_EQ(FeedRequests(), feeds + c.feedRequests);
    }
  }
  EXPECT_EQ(ImageRequests(), 0u);
  EXPECT_TRUE(host.appended.empty());
  EXPECT_TRUE(host.commands.empty());
  EXPECT_FALSE(TempFilesLeft());
}

// A feed that trickles a byte now and then never stalls: only the total
// deadline (shortened here; DownloadDeadline.IsTwoMinutes... checks the
// real one) ends the check, which then records nothing.
TEST_F(CheckRunnerTest, TricklingFeedEndsTheCheckAtTheDeadline) {
  gw::SetDownloadDeadlineForTesting(2);
  Serve(3900, 4000, 14, kToday, {"/latest.json=trickle:0.2"});
  const char* outcome = nullptr;
  HResult result = Check(true, &outcome);
  gw::SetDownloadDeadlineForTesting(gw::kDownloadDeadlineSeconds);
  EXPECT_EQ(result, static_cast<HResult>(0x80072EE2u));
  EXPECT_STREQ(outcome, "usage feed not fetched");
  EXPECT_EQ(Dword(u"TUCount"), 0u);
  EXPECT_EQ(Dword(u"TULastHour"), 99u);
  EXPECT_TRUE(host.appended.empty());
  EXPECT_FALSE(TempFilesLeft());
}

}  // namespace
