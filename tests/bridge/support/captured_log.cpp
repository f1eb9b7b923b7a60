#include "support/captured_log.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "bridge/log/event_log.h"

namespace gwtest {

struct CapturedLog::Lines {
  std::mutex mutex;
  std::condition_variable written;
  std::string text;
};

namespace {

struct KeepingSink : gw::bridge::LogSink {
  explicit KeepingSink(std::shared_ptr<CapturedLog::Lines> l) : lines(std::move(l)) {}
  void Write(std::string_view batch) override {
    std::lock_guard<std::mutex> hold(lines->mutex);
    lines->text.append(batch);
    lines->written.notify_all();
  }
  void Flush() override {}
  std::shared_ptr<CapturedLog::Lines> lines;
};

}  // namespace

CapturedLog::CapturedLog() : lines_(std::make_shared<Lines>()) {
  gw::bridge::SetLogSink(std::make_unique<KeepingSink>(lines_));
}

CapturedLog::~CapturedLog() { gw::bridge::SetLogSink(gw::bridge::MakeStandardOutputSink()); }

std::string CapturedLog::AwaitLine(const std::string& text) {
  std::unique_lock<std::mutex> hold(lines_->mutex);
  size_t at = std::string::npos;
  lines_->written.wait_for(hold, std::chrono::seconds(20), [&] {
    at = lines_->text.find(text);
    return at != std::string::npos && lines_->text.find('\n', at) != std::string::npos;
  });
  if (at == std::string::npos) return {};
  const size_t begin = lines_->text.rfind('\n', at) + 1;  // 0 for the first line
  const size_t end = lines_->text.find('\n', at);
  return end == std::string::npos ? std::string() : lines_->text.substr(begin, end + 1 - begin);
}

}  // namespace gwtest

namespace gwtest {

CapturedNotices::CapturedNotices() {
  gw::bridge::SetNoticeForwarder([this](gw::bridge::Notice notice, const std::string& line) {
    std::lock_guard<std::mutex> hold(lock_);
    lines_.push_back((notice == gw::bridge::Notice::kAlarm ? "warning " : "information ") + line);
  });
}

CapturedNotices::~CapturedNotices() { gw::bridge::SetNoticeForwarder(nullptr); }

std::vector<std::string> CapturedNotices::Take() {
  std::lock_guard<std::mutex> hold(lock_);
  return std::exchange(lines_, {});
}

}  // namespace gwtest
