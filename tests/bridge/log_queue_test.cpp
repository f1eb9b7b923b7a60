// The log's queue with a sink the test holds back: logging never waits for a
// stalled reader, what did not fit is counted and reported where the gap is,
// and stopping does not wait for a writer stuck in its sink.
#include "bridge/log/log_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <string>

#include "bridge/log/event_log.h"
#include "bridge/log/log_stamp.h"
#include "support/captured_log.h"

namespace {

using gw::bridge::LogQueue;
using testing::EndsWith;
using testing::HasSubstr;

// A sink whose writes wait while it is held, as a pipe whose reader paused.
struct HeldSink : gw::bridge::LogSink {
  struct Control {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = true;
    int writesStarted = 0;
    std::string written;
  };
  explicit HeldSink(std::shared_ptr<Control> c) : control(std::move(c)) {}
  void Write(std::string_view lines) override {
    std::unique_lock<std::mutex> lock(control->mutex);
    ++control->writesStarted;
    control->changed.notify_all();
    control->changed.wait(lock, [&] { return !control->held; });
    control->written.append(lines);
    control->changed.notify_all();
  }
  void Flush() override {}
  std::shared_ptr<Control> control;
};

std::shared_ptr<HeldSink::Control> NewControl() { return std::make_shared<HeldSink::Control>(); }

void Release(HeldSink::Control& c) {
  std::lock_guard<std::mutex> lock(c.mutex);
  c.held = false;
  c.changed.notify_all();
}

// Waits until the writer is inside the sink, so that later lines queue up.
void AwaitWriteStarted(HeldSink::Control& c) {
  std::unique_lock<std::mutex> lock(c.mutex);
  c.changed.wait(lock, [&] { return c.writesStarted > 0; });
}

void AwaitWritten(HeldSink::Control& c, const std::string& text) {
  std::unique_lock<std::mutex> lock(c.mutex);
  c.changed.wait(lock, [&] { return c.written.find(text) != std::string::npos; });
}

std::string Line(int i) { return "line " + std::to_string(i) + "\n"; }

TEST(LogQueue, LoggingNeverWaitsForAStalledReaderAndReportsTheGap) {
  auto control = NewControl();
  size_t tenLines = 0;
  for (int i = 1; i <= 10; ++i) tenLines += Line(i).size();
  auto queue = std::make_unique<LogQueue>(std::make_unique<HeldSink>(control), tenLines, 0);
  ASSERT_TRUE(queue->Push(Line(0)));
  AwaitWriteStarted(*control);
  // Ten fit; the rest are dropped, and none of the pushes waits.
  auto pushes = std::async(std::launch::async, [&] {
    int taken = 0;
    for (int i = 1; i <= 1000; ++i) taken += queue->Push(Line(i)) ? 1 : 0;
    return taken;
  });
  ASSERT_EQ(pushes.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "a push waited for the sink";
  EXPECT_EQ(pushes.get(), 10);
  EXPECT_EQ(queue->Dropped(), 990u);
  Release(*control);
  AwaitWritten(*control, Line(10));
  EXPECT_TRUE(queue->Push(Line(1001))) << "room again once the reader reads";
  EXPECT_TRUE(queue->Stop(std::chrono::seconds(20)));
  std::lock_guard<std::mutex> lock(control->mutex);
  const std::string& out = control->written;
  const size_t gap = out.find("log: 990 lines dropped here");
  ASSERT_NE(gap, std::string::npos) << out;
  EXPECT_LT(out.find(Line(10)), gap) << "the notice comes where the lines went missing";
  EXPECT_EQ(out.find(Line(11)), std::string::npos);
  EXPECT_GT(out.find(Line(1001)), gap);
  EXPECT_EQ(out.rfind("dropped"), out.find("dropped")) << "the gap is told once";
}

TEST(LogQueue, UrgentLinesUseTheReserveAndPushesAfterTheStopAreDropped) {
  auto control = NewControl();
  LogQueue queue(std::make_unique<HeldSink>(control), 2 * Line(0).size(), 20);
  queue.Push(Line(0));
  AwaitWriteStarted(*control);
  EXPECT_TRUE(queue.Push(Line(1)));
  EXPECT_TRUE(queue.Push(Line(2)));
  EXPECT_FALSE(queue.Push(Line(3)));
  EXPECT_TRUE(queue.Push("stopping\n", true));
  EXPECT_FALSE(queue.Push("another urgent line\n", true)) << "the reserve is bounded too";
  Release(*control);
  EXPECT_TRUE(queue.Stop(std::chrono::seconds(20)));
  EXPECT_FALSE(queue.Push(Line(4)));
  EXPECT_EQ(queue.Dropped(), 3u);
  std::lock_guard<std::mutex> lock(control->mutex);
  EXPECT_THAT(control->written, HasSubstr(Line(2) + "stopping\n"));
}

TEST(LogQueue, StoppingDoesNotWaitForAWriterStuckInItsSink) {
  auto control = NewControl();
  auto queue = std::make_unique<LogQueue>(std::make_unique<HeldSink>(control), 1024, 0);
  queue->Push(Line(0));
  AwaitWriteStarted(*control);
  queue->Push(Line(1));
  EXPECT_FALSE(queue->Stop(std::chrono::milliseconds(0))) << "the lines are not written";
  queue.reset();  // gone while its writer is stuck: the writer keeps what it needs
  Release(*control);
  AwaitWritten(*control, Line(1));
}

TEST(LogQueue, AReplacedSinkTakesTheLinesFromThenOn) {
  auto first = NewControl(), second = NewControl();
  Release(*first);
  Release(*second);
  LogQueue queue(std::make_unique<HeldSink>(first), 1024, 0);
  queue.Push(Line(1));
  AwaitWritten(*first, Line(1));
  queue.ReplaceSink(std::make_unique<HeldSink>(second));
  queue.Push(Line(2));
  EXPECT_TRUE(queue.Stop(std::chrono::seconds(20)));
  EXPECT_EQ(first->written, Line(1));
  EXPECT_EQ(second->written, Line(2));
}

// Text from the operator's file reaches the log in outcome lines: a terminal
// escape, a bare CR or a line break in it is written escaped, in the line and
// in a notice passed on (to the Event Log on Windows); other text is kept.
TEST(LogLine, ControlCharactersAreWrittenEscaped) {
  gwtest::CapturedLog log;
  std::string passedOn;
  gw::bridge::SetNoticeForwarder([&](gw::bridge::Notice, const std::string& line) { passedOn = line; });
  // C0, DEL and C1 (U+0080 to U+009F, CSI among them); a no-break space is no control.
  const std::string cell = "時間帯 ±\x1b[2J\x1b]0;x\x07 12:00\rforged line\n\xc2\x9b" "31m\x7f\t\xc2\x80\xc2\x9f\xc2\xa0.";
  const std::string escaped = "時間帯 ±\\u001b[2J\\u001b]0;x\\u0007 12:00\\u000dforged line\\u000a\\u009b31m\\u007f\\u0009\\u0080\\u009f\xc2\xa0.";
  gw::bridge::LogLine("tokyo: refused: %s", cell.c_str());
  gw::bridge::LogNotice(gw::bridge::Notice::kAlarm, "tokyo: alarm: " + cell);
  gw::bridge::SetNoticeForwarder(nullptr);
  EXPECT_THAT(log.AwaitLine("tokyo: refused: "), EndsWith(" tokyo: refused: " + escaped + "\n"));
  EXPECT_THAT(log.AwaitLine("tokyo: alarm: "), EndsWith(" tokyo: alarm: " + escaped + "\n"));
  EXPECT_EQ(passedOn, "tokyo: alarm: " + escaped);
}

TEST(LogStamp, JapanTimeToTheMillisecond) {
  char stamp[gw::bridge::kStampSize];
  gw::bridge::WriteStamp(0, stamp);
  EXPECT_STREQ(stamp, "1970-01-01T09:00:00.000+09:00 ");
  gw::bridge::WriteStamp(1796622900123, stamp);  // 2026-12-07 14:55 in Japan
  EXPECT_STREQ(stamp, "2026-12-07T14:55:00.123+09:00 ");
  gw::bridge::WriteStamp(1835449199999, stamp);  // the last millisecond of 2028-02-29 in Japan
  EXPECT_STREQ(stamp, "2028-02-29T23:59:59.999+09:00 ");
  gw::bridge::WriteStamp(1835449200000, stamp);
  EXPECT_STREQ(stamp, "2028-03-01T00:00:00.000+09:00 ");
}

}  // namespace
