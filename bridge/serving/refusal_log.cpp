#include "bridge/serving/refusal_log.h"

#include <cstdio>

namespace gw::bridge {

RefusalLog::RefusalLog(size_t maxConnections, size_t maxPerClient)
    : maxConnections_(maxConnections), maxPerClient_(maxPerClient) {}

std::optional<std::string> RefusalLog::Note(ConnectionEvent event, std::string_view detail, Clock::time_point now) {
  if (pending_ == 0) firstPending_ = now;
  ++pending_;
  ++counts_[static_cast<size_t>(event)];
  lastDetail_[static_cast<size_t>(event)] = std::string(detail.substr(0, 120));
  return Due(now);
}

std::optional<std::string> RefusalLog::Due(Clock::time_point now) {
  if (pending_ == 0 || (logged_ && now < lastLine_ + kPeriod)) return std::nullopt;
  return Line(now);
}

// "refused 1200 connections over --max-connections-per-client 64 (last from
// 127.0.0.1), 3 at --max-connections 1024; accept failed 2 times (last: Too
// many open files); in 1.0 s"
std::string RefusalLog::Line(Clock::time_point now) {
  auto count = [this](ConnectionEvent e) { return counts_[static_cast<size_t>(e)]; };
  auto detail = [this](ConnectionEvent e) { return lastDetail_[static_cast<size_t>(e)]; };
  std::string parts;
  auto add = [&parts](const std::string& part) { parts += (parts.empty() ? "" : ", ") + part; };
  if (uint64_t n = count(ConnectionEvent::kRefusedClientCap)) {
    add(std::to_string(n) + " over --max-connections-per-client " + std::to_string(maxPerClient_) +
        " (last from " + detail(ConnectionEvent::kRefusedClientCap) + ")");
  }
  if (uint64_t n = count(ConnectionEvent::kRefusedConnectionCap)) {
    add(std::to_string(n) + " at --max-connections " + std::to_string(maxConnections_) + " (last from " +
        detail(ConnectionEvent::kRefusedConnectionCap) + ")");
  }
  std::string line = parts.empty() ? "" : "refused connections: " + parts;
  if (uint64_t n = count(ConnectionEvent::kAcceptFailed)) {
    line += (line.empty() ? "" : "; ") + std::string("accept failed ") + std::to_string(n) + " times (last: " +
            detail(ConnectionEvent::kAcceptFailed) + ")";
  }
  const double seconds = std::chrono::duration<double>(now - firstPending_).count();
  char span[48];
  std::snprintf(span, sizeof span, "; within %.1f s", seconds);
  line += span;
  counts_ = {};
  pending_ = 0;
  logged_ = true;
  lastLine_ = now;
  return line;
}

}  // namespace gw::bridge
