// The bridge's command line.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bridge/reading/areas.h"

namespace gw::bridge {

constexpr char kDefaultArea[] = "tokyo";

// One --listen: where, and the area whose documents the plug-in gets there.
struct Listener {
  std::string address = "127.0.0.1";
  uint16_t port = 8080;
  std::string area;  // empty: the --area one
};

struct Options {
  std::vector<Listener> listens;  // none given: 127.0.0.1:8080
  std::string portFile;
  std::string area = kDefaultArea;
  std::string source;                             // the plain --source: for --area; empty: its default
  std::map<std::string, std::string> areaSources;  // --source AREA=URL
  int64_t refreshSeconds = 300;
  int64_t maxAgeSeconds = 3 * 3600;
  int64_t alarmAfterSeconds = 3600;
  std::string user;
  std::string passwordFile;
  std::string font;  // empty: the platform's own default (OpenChartFont)
  size_t maxConnections = 1024;
  size_t maxConnectionsPerClient = 64;
  bool help = false;
  // The Windows service: register it with the other options on its command
  // line, remove it, or run as it (the service manager's command line).
  bool installService = false;
  bool uninstallService = false;
  bool runAsService = false;
};

// Fills `options` from the arguments after the program name. Returns false
// with a one-line `error` on bad usage.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

extern const char kUsage[];

// What the process serves, resolved from the options: each area it reads,
// once, with its source (the operator's file unless --source names another),
// and each listener with its area. An area is served when a listener serves
// it or --source AREA=URL names it (then through the per-area API).
struct AreaSource {
  const Area* area;
  std::string source;  // may hold {date}
};

struct BridgePlan {
  std::vector<AreaSource> areas;
  std::vector<Listener> listens;  // each with its area's name filled in
};

BridgePlan PlanBridge(const Options& options);

// The options that only mean something on Windows; their flags are parsed on
// every platform, so that a command line means the same everywhere.
extern const char kServiceUsage[];
constexpr char kInstallServiceFlag[] = "--install-service";
constexpr char kUninstallServiceFlag[] = "--uninstall-service";
constexpr char kRunAsServiceFlag[] = "--service";

}  // namespace gw::bridge
