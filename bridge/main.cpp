// gridwren-bridge: reads the grid operator's file of the day and serves the
// Gridwren plug-in's three documents from memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

#include "bridge/command_line.h"
#include "bridge/log/event_log.h"
#include "bridge/options.h"
#include "bridge/bridge_parts.h"
#include "bridge/reading/japan_time.h"
#include "bridge/service/service.h"
#include "bridge/service/stop.h"

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
// half a number. The name is UTF-8, as every option is: u8path gives Windows
// its UTF-16 form.
void WritePortFile(const std::string& path, const std::vector<uint16_t>& ports) {
  const std::filesystem::path file = std::filesystem::u8path(path);
  std::filesystem::path partial = file;
  partial += ".partial";
  {
    std::ofstream out(partial, std::ios::trunc | std::ios::binary);  // "\n" on every platform
    for (uint16_t port : ports) out << port << "\n";
    if (!out.flush()) throw std::runtime_error("cannot write the port file " + path + ": " + std::strerror(errno));
  }
  std::error_code error;
  std::filesystem::rename(partial, file, error);
  if (error) throw std::runtime_error("cannot write the port file " + path + ": " + error.message());
}

// Two to four threads serve: enough to keep the cores busy with requests
// that are only copies from memory, few enough to stay small.
int ServingThreads() {
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 4);
}

// Serves until `stop` is asked; `ready` is called once it listens.
void Serve(const Options& o, StopRequest& stop, const std::function<void()>& ready) {
  SystemClock clock;
  ForwardNoticesToSystemLog();
  BridgeParts parts(o, clock, ServingThreads());
  const std::vector<uint16_t> ports = parts.Listen();
  parts.Start();
  if (!o.portFile.empty()) WritePortFile(o.portFile, ports);
  LogLineNow("%s", parts.Describe(ports).c_str());
  ready();

  LogLineNow("stopping on %s", stop.Wait().c_str());
  parts.Stop();
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
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
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
