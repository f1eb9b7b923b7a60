#include "monitor/scheduling.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/thread.h"
#include "plugin/plugin.h"
#include "settings/defaults.h"
#include "support/fake_host.h"
#include "support/local_feed_server.h"

namespace {

// The outcomes of detached checks, as a hosting program hears of them.
std::mutex g_finishedMutex;
std::vector<int32_t> g_finished;

std::vector<int32_t> Finished() {
  std::lock_guard<std::mutex> guard(g_finishedMutex);
  return g_finished;
}

}  // namespace

// Looked up by the plug-in when one of its detached checks ends.
extern "C" void gwhost_CheckFinished(uint32_t, int32_t result, const char*) {
  std::lock_guard<std::mutex> guard(g_finishedMutex);
  g_finished.push_back(result);
}

namespace {

using gw::WideString;

TEST(TestMailMessage, TextsAreExact) {
  EXPECT_EQ(gw::TestMailMessage(0), u"電力使用状況を知らせるテストメールを送信しました。");
  EXPECT_EQ(gw::TestMailMessage(1), u"電力使用状況を知らせるテストメールを送信しました。");
  EXPECT_EQ(gw::TestMailMessage(static_cast<gw::HResult>(0x80072EFDu)),
            u"電力情報の取得に失敗しました。エラーコード：0x80072efd");
  EXPECT_EQ(gw::TestMailMessage(gw::kEFail), u"電力情報の取得に失敗しました。エラーコード：0x80004005");
}

// The plug-in loaded in a fake host: its own store and lock, its checks on
// worker threads against the local feed server.
class SchedulingTest : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
  gwtest::LocalFeedServer server;

  void SetUp() override {
    ASSERT_TRUE(gw::PluginEntry(nullptr, gw::kProcessAttach, false));
    host.WriteMailBoxIni("me@example.jp");
    gw::InitDefaults(*gw::Settings());
    Store().SetString(u"TUServer", gw::WideView(u"127.0.0.1"));
    Store().SetDword(u"TUPort", static_cast<uint32_t>(server.port()));
    Store().SetString(u"TUMessages", gw::WideView(u"99"));
  }
  void TearDown() override {
    gw::WaitForWorkerThreads();
    gw::PluginEntry(nullptr, gw::kProcessDetach, false);
    // The exit's state outlives the detach; the next load would clear it.
    gw::ClearExitState();
  }

  const gw::SettingsStore& Store() { return *gw::Settings(); }
  void Interval(const char16_t* text) { Store().SetString(u"TUInterval", gw::WideView(text)); }
  // Each check that gets past the pause and daily gates fetches the feed.
  size_t ChecksAfter(int ticks) {
    for (int i = 0; i < ticks; ++i) gw::OnEveryMinute();
    gw::WaitForWorkerThreads();
    size_t n = 0;
    for (const auto& r : server.Requests()) n += r.target.find("/latest.json") != std::string::npos;
    return n;
  }
};

TEST_F(SchedulingTest, EveryIntervalthTickStartsACheck) {
  Interval(u"30");
  EXPECT_EQ(ChecksAfter(29), 0u);
  EXPECT_EQ(ChecksAfter(1), 1u);
  EXPECT_EQ(ChecksAfter(60), 3u);
}

TEST_F(SchedulingTest, NoUsableIntervalFreezesTheCounter) {
  for (const char16_t* text : {u"0", u"", u"abc"}) {
    Interval(text);
    EXPECT_EQ(ChecksAfter(10), 0u) << gw::WideToUtf8(text);
  }
  Store().SetString(u"TUInterval", std::nullopt);  // rejected: stays ""
  // A negative interval is a huge unsigned one: practically never.
  Interval(u"-1");
  EXPECT_EQ(ChecksAfter(10), 0u);
  // The frozen ticks did not count: ten more at "10" give the first check.
  Interval(u"10");
  EXPECT_EQ(ChecksAfter(9), 0u);
  EXPECT_EQ(ChecksAfter(1), 1u);
}

TEST_F(SchedulingTest, ChangedIntervalCountsOnFromTheSameCounter) {
  Interval(u"1000");
  EXPECT_EQ(ChecksAfter(45), 0u);
  Interval(u"10");
  EXPECT_EQ(ChecksAfter(4), 0u);
  EXPECT_EQ(ChecksAfter(1), 1u);  // counter 50
}

TEST_F(SchedulingTest, StormOfTicksCompletesEveryCheck) {
  Interval(u"1");
  EXPECT_EQ(ChecksAfter(100), 100u);
  // Only the first could send; the rest met the same hour.
  EXPECT_EQ(host.appended.size(), 1u);
}

TEST_F(SchedulingTest, TestMailShowsItsOutcome) {
  Store().SetDword(u"TUPause", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(gw::StartUsageCheck(1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Gridwren: 電力使用状況を知らせるテストメールを送信しました。\n");
  Store().SetDword(u"TUPort", static_cast<uint32_t>(gwtest::UnusedLocalPort()));
  testing::internal::CaptureStderr();
  gw::StartUsageCheck(1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Gridwren: 電力情報の取得に失敗しました。エラーコード：0x80072efd\n");
}

// The host's exit stops the check held up by a trickling feed and the one
// waiting behind it for the lock: both end with E_ABORT before the exit
// returns, with no mail and no temporary file left. After the exit, no
// check starts at all, the test mail included.
TEST_F(SchedulingTest, ExitStopsRunningChecksAndLaterOnesDoNothing) {
  gwtest::LocalFeedServer trickle({"/latest.json=trickle"});
  Store().SetDword(u"TUPort", static_cast<uint32_t>(trickle.port()));
  const size_t finishedBefore = Finished().size();
  gw::StartUsageCheck(0);
  gw::StartUsageCheck(0);
  while (trickle.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));

  EXPECT_TRUE(gw::StopChecksForExit()) << "checks still running when the exit gave up waiting";
  gw::WaitForWorkerThreads();
  std::vector<int32_t> finished = Finished();
  finished.erase(finished.begin(), finished.begin() + static_cast<long>(finishedBefore));
  EXPECT_EQ(finished, (std::vector<int32_t>{gw::kEAbort, gw::kEAbort}));
  EXPECT_TRUE(host.appended.empty());
  EXPECT_TRUE(host.commands.empty());
  for (const auto& path : host.tempFilesHandedOut) EXPECT_NE(access(path.c_str(), F_OK), 0) << path;

  const size_t handedOut = host.tempFilesHandedOut.size();
  Interval(u"1");
  gw::OnEveryMinute();
  testing::internal::CaptureStderr();
  gw::StartUsageCheck(1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a test mail after the exit";
  gw::WaitForWorkerThreads();
  EXPECT_EQ(trickle.Requests().size(), 1u);
  EXPECT_EQ(host.tempFilesHandedOut.size(), handedOut);
  EXPECT_EQ(Finished().size(), finishedBefore + 2);
}

// The host's exit while the awaited test mail waits for the feed: the check
// ends with E_ABORT, and the mail client, now going away, is shown nothing.
TEST_F(SchedulingTest, AnExitDuringTheTestMailShowsNoMessage) {
  gwtest::LocalFeedServer trickle({"/latest.json=trickle"});
  Store().SetDword(u"TUPort", static_cast<uint32_t>(trickle.port()));
  std::thread exiting([&trickle] {
    while (trickle.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gw::StopChecksForExit();
  });
  testing::internal::CaptureStderr();
  gw::StartUsageCheck(1);
  const std::string shown = testing::internal::GetCapturedStderr();
  exiting.join();
  EXPECT_EQ(shown, "");
  EXPECT_TRUE(host.appended.empty());
}

}  // namespace
