// gridwren-bridge: reads the grid operator's file of the day and serves the
// Gridwren plug-in's three documents from memory.
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
#include "bridge/service.h"
#include "bridge/stop.h"
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
    std::ofstream out(partial, std::ios::trunc | std::ios::binary);  // "\n" on every platform
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

// Serves until `stop` is asked; `ready` is called once it listens.
void Serve(const Options& o, StopRequest& stop, const std::function<void()>& ready) {
  std::optional<Login> login = MakeLogin(o);
  std::unique_ptr<ChartDrawer> drawer = MakeChartDrawer(o.font);

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
  ready();

  LogLineNow("stopping on %s", stop.Wait().c_str());
  front.Stop();
  poller.Stop();
  LogLineNow("stopped");
}

int ServeInConsole(const Options& o) {
  StopRequest stop;  // before any thread starts
  try {
    Serve(o, stop, [] {});
    StopLog(kLogGrace);
    stop.Stopped();
    return kExitOk;
  } catch (const std::exception& e) {
    StopLog(kLogGrace);
    std::fprintf(stderr, "gridwren-bridge: %s\n", e.what());
    stop.Stopped();
    return kExitFailure;
  }
}

// The options as given, without the flag that asked for the install.
std::vector<std::string> ServeArgs(std::vector<std::string> args) {
  args.erase(std::remove(args.begin(), args.end(), kInstallServiceFlag), args.end());
  return args;
}

}  // namespace
}  // namespace gw::bridge

int main(int argc, char** argv) {
  using namespace gw::bridge;
  const std::vector<std::string> args(argv + 1, argv + argc);
  Options options;
  std::string error;
  if (!ParseOptions(args, &options, &error)) {
    if (std::find(args.begin(), args.end(), kRunAsServiceFlag) != args.end()) {
      return FailAsService(error, kExitUsage);
    }
    std::fprintf(stderr, "gridwren-bridge: %s\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    std::fputs(kServiceUsage, stdout);
    return kExitOk;
  }
  if (options.installService) return InstallService(ServeArgs(args));
  if (options.uninstallService) return UninstallService();
  if (options.runAsService) {
    return RunAsService([&](StopRequest& stop, const std::function<void()>& ready) { Serve(options, stop, ready); });
  }
  return ServeInConsole(options);
}
