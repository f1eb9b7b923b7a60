// The bridge's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gw::bridge {

constexpr char kDefaultSource[] = "https://www.tepco.co.jp/forecast/html/images/juyo-d1-j.csv";
// The graphs' font unless --font names one: a file natively; on Windows
// empty, for the first installed of the system's Japanese fonts.
extern const char kDefaultFont[];

struct Options {
  std::string address = "127.0.0.1";
  uint16_t port = 8080;
  std::string portFile;
  std::string source = kDefaultSource;
  int64_t refreshSeconds = 300;
  int64_t maxAgeSeconds = 3 * 3600;
  std::string user;
  std::string passwordFile;
  std::string font = kDefaultFont;
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

// The options that only mean something on Windows; their flags are parsed on
// every platform, so that a command line means the same everywhere.
extern const char kServiceUsage[];
constexpr char kInstallServiceFlag[] = "--install-service";
constexpr char kUninstallServiceFlag[] = "--uninstall-service";
constexpr char kRunAsServiceFlag[] = "--service";

}  // namespace gw::bridge
