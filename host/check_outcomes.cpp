#include "host/check_outcomes.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>

namespace gwhost {
namespace {

std::mutex g_mutex;
std::condition_variable g_reported;
bool g_print = false;
int g_count = 0;

}  // namespace

std::string DescribeOutcome(int32_t result, const char* outcome) {
  const char* kind = result == static_cast<int32_t>(0x80004004u) ? "skipped" : result < 0 ? "failed" : "sent";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(result));
  return std::string(kind) + ": " + (outcome && *outcome ? outcome : "no details") + " (" + code + ")";
}

void PrintOutcomesAsTheyCome(bool on) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_print = on;
}

int ReportedChecks() {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_count;
}

bool AwaitReportedChecks(int count, const std::function<bool()>& giveUp) {
  std::unique_lock<std::mutex> hold(g_mutex);
  // A report wakes this at once; the short steps only notice `giveUp`.
  while (g_count < count) {
    if (giveUp()) return false;
    g_reported.wait_for(hold, std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace gwhost

// Looked up by the plug-in when one of its detached checks ends.
extern "C" void gwhost_CheckFinished(uint32_t threadId, int32_t result, const char* outcome) {
  std::lock_guard<std::mutex> guard(gwhost::g_mutex);
  ++gwhost::g_count;
  if (gwhost::g_print)
    std::cout << "check " << gwhost::g_count << " (thread " << threadId
              << "): " << gwhost::DescribeOutcome(result, outcome) << std::endl;
  gwhost::g_reported.notify_all();
}
