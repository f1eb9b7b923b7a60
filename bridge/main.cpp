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

#include "bridge/cache/cache.h"
#include "bridge/charts/chart.h"
#include "bridge/log/event_log.h"
#include "bridge/serving/descriptor_limit.h"
#include "bridge/serving/front.h"
#include "bridge/reading/japan_time.h"
#include "bridge/serving/login.h"
#include "bridge/cache/metrics.h"
#include "bridge/options.h"
#include "bridge/upstream/poller.h"
#include "bridge/serving/responder.h"
#include "bridge/upstream/upstream.h"

namespace gw::bridge {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// How long the end waits for the log's last lines: a reader that stalled
// (a paused terminal, a full pipe) must not keep the process from ending.
constexpr auto kLogGrace = std::chrono::milliseconds(500);

std::optional<Login> MakeLogin(const Options& o) {
  if (o.user.empty()) return std::nullopt;
  std::string password, error;
  if (!ReadPasswordFile(o.passwordFile, &password, &error)) throw std::runtime_error(error);
  return Login(o.user, password);
}

// Written whole under another name first, so that a script waiting for the
// file never reads half a number.
void WritePortFile(const std::string& path, uint16_t port) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::trunc);
    out << port << "\n";
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
  std::optional<Login> login = MakeLogin(o);
  std::unique_ptr<ChartDrawer> drawer = MakeChartDrawer(o.font);
  sigset_t stopSignals = BlockStopSignals();

  std::string lowered;
  const size_t maxConnections = FitConnectionCap(o.maxConnections, &lowered);
  if (!lowered.empty()) LogLineNow("%s", lowered.c_str());

  SystemClock clock;
  Cache cache;
  Metrics metrics;
  Responder responder(metrics, login ? &*login : nullptr, o.maxAgeSeconds);
  Front front({o.address, o.port, maxConnections, ServingThreads(), o.maxConnectionsPerClient}, cache, responder,
              metrics, clock);
  const uint16_t port = front.Listen();
  front.Start();
  if (!o.portFile.empty()) WritePortFile(o.portFile, port);
  LogLineNow("listening on %s:%u; source %s every %lld s; max age %lld s; %s; at most %zu connections, %zu per "
             "client", o.address.c_str(), port, o.source.c_str(), static_cast<long long>(o.refreshSeconds),
             static_cast<long long>(o.maxAgeSeconds), login ? "login required" : "no login", maxConnections,
             o.maxConnectionsPerClient);

  Upstream upstream(o.source);
  Poller poller(upstream, cache, metrics, *drawer, clock, o.maxAgeSeconds);
  poller.Start(std::chrono::seconds(o.refreshSeconds));

  int received = 0;
  sigwait(&stopSignals, &received);
  LogLineNow("stopping on %s", received == SIGTERM ? "SIGTERM" : "SIGINT");
  front.Stop();
  poller.Stop();
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
