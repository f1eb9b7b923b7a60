// gridwren-bridge: reads the grid operator's file of the day and serves the
// Gridwren plug-in's three documents from memory.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <thread>

#include "bridge/log/event_log.h"
#include "bridge/options.h"
#include "bridge/reading/japan_time.h"
#include "bridge/bridge_parts.h"

namespace gw::bridge {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// How long the end waits for the log's last lines: a reader that stalled
// (a paused terminal, a full pipe) must not keep the process from ending.
constexpr auto kLogGrace = std::chrono::milliseconds(500);

// One line per listener, in the order of --listen. Written whole under
// another name first, so that a script waiting for the file never reads
// half a number.
void WritePortFile(const std::string& path, const std::vector<uint16_t>& ports) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::trunc);
    for (uint16_t port : ports) out << port << "\n";
    if (!out.flush()) throw std::runtime_error("cannot write the port file " + path + ": " + std::strerror(errno));
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    throw std::runtime_error("cannot write the port file " + path + ": " + std::strerror(errno));
  }
}

// Two to four threads serve: enough to keep the cores busy with requests
// that are only copies from memory, few enough to stay small.
int ServingThreads() {
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 4);
}

// Blocked before any thread starts, so every thread inherits the mask and
// only the main thread's sigwait receives them.
sigset_t BlockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return stopSignals;
}

int Serve(const Options& o) {
  SystemClock clock;
  BridgeParts parts(o, clock, ServingThreads());
  sigset_t stopSignals = BlockStopSignals();
  const std::vector<uint16_t> ports = parts.Listen();
  parts.Start();
  if (!o.portFile.empty()) WritePortFile(o.portFile, ports);
  LogLineNow("%s", parts.Describe(ports).c_str());

  int received = 0;
  sigwait(&stopSignals, &received);
  LogLineNow("stopping on %s", received == SIGTERM ? "SIGTERM" : "SIGINT");
  parts.Stop();
  LogLineNow("stopped");
  StopLog(kLogGrace);
  return kExitOk;
}

}  // namespace
}  // namespace gw::bridge

int main(int argc, char** argv) {
  using namespace gw::bridge;
  Options options;
  std::string error;
  if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "gridwren-bridge: %s\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  try {
    return Serve(options);
  } catch (const std::exception& e) {
    StopLog(kLogGrace);
    std::fprintf(stderr, "gridwren-bridge: %s\n", e.what());
    return kExitFailure;
  }
}
