// gridwren-host: a stand-in mail client that loads the plug-in and drives it.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/cli.h"
#include "host/plugin_loader.h"
#include "hostapi/host_api.h"
#include "settings/registry_file.h"

namespace gwhost {
namespace {

std::vector<Command> AllCommands() {
  return {InitCommand(), StartCommand(), SettingsCommand(), CheckCommand(), RunCommand(), ReadFeedCommand(),
          OutboxCommand(), SetupCommand(), MenuCommand()};
}

void PrintUsage(std::ostream& out) {
  out << "usage: gridwren-host [--profile DIR] [--plugin FILE] COMMAND [ARGS]\n"
         "\n"
         "A stand-in mail client: it offers the plug-in the host functions of a real\n"
         "client, backed by a profile folder, and calls the plug-in's callbacks.\n"
         "\n"
         "options:\n"
         "  --profile DIR  the profile folder (default: $GRIDWREN_PROFILE, else ~/.gridwren)\n"
         "  --plugin FILE  the plug-in library (default: libgridwren.so beside this program)\n"
         "  --help         this text; 'gridwren-host COMMAND --help' explains a command\n"
         "\n"
         "commands:\n";
  for (const auto& c : AllCommands()) {
    char line[128];
    std::snprintf(line, sizeof line, "  %-10s %s\n", c.name, c.summary);
    out << line;
  }
}

std::string DefaultProfile() {
  if (const char* env = std::getenv("GRIDWREN_PROFILE"); env && *env) return env;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.gridwren";
}

int Run(int argc, char** argv) {
  Invocation inv;
  inv.profile.root = DefaultProfile();
  inv.pluginPath = DefaultPluginPath();
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      PrintUsage(std::cout);
      return kExitOk;
    }
    if ((opt == "--profile" || opt == "--plugin") && i + 1 < argc) {
      (opt == "--profile" ? inv.profile.root : inv.pluginPath) = argv[++i];
      continue;
    }
    return Fail(kExitUsage, "unknown or incomplete option '" + opt + "' (see --help)");
  }
  if (i == argc) {
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  std::string name = argv[i++];
  inv.args.assign(argv + i, argv + argc);
  while (inv.profile.root.size() > 1 && inv.profile.root.back() == '/') inv.profile.root.pop_back();
  for (const auto& c : AllCommands()) {
    if (name != c.name) continue;
    if (WantsHelp(inv.args)) {
      std::cout << c.help;
      return kExitOk;
    }
    if (c.needsProfile) {
      std::string error;
      if (!CheckProfile(inv.profile, &error)) return Fail(kExitFailure, error);
    }
    SetCurrentProfile(inv.profile);
    // The plug-in finds the user's settings key here, as a Windows program
    // finds the user's registry hive.
    setenv(gw::kRegistryEnvironment, inv.profile.Registry().c_str(), 1);
    // The host's own commands use plug-in code (the stored password) that
    // calls host functions; it finds them in this program, as the plug-in does.
    if (!gw::BindHostApi()) return Fail(kExitFailure, "cannot bind this program's own host functions");
    return c.run(inv);
  }
  return Fail(kExitUsage, "unknown command '" + name + "' (see --help)");
}

}  // namespace
}  // namespace gwhost

int main(int argc, char** argv) {
  try {
    return gwhost::Run(argc, argv);
  } catch (const std::exception& e) {
    return gwhost::Fail(gwhost::kExitFailure, e.what());
  }
}
