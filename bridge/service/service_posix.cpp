#include "bridge/service/service.h"

#include <cstdio>

namespace gw::bridge {
namespace {

constexpr int kExitUsage = 2;

int NotHere(const char* flag) {
  std::fprintf(stderr,
               "gridwren-bridge: %s is for Windows's service manager; here, run the bridge itself from "
               "systemd or another supervisor (it stops cleanly on SIGTERM)\n",
               flag);
  return kExitUsage;
}

}  // namespace

int InstallService(const std::vector<std::string>&) { return NotHere("--install-service"); }

int UninstallService() { return NotHere("--uninstall-service"); }

int RunAsService(const ServeFunction&) { return NotHere("--service"); }

void ForwardNoticesToSystemLog() {}

int FailAsService(const std::string& error, int) {
  std::fprintf(stderr, "gridwren-bridge: %s\n", error.c_str());
  return NotHere("--service");
}

}  // namespace gw::bridge
