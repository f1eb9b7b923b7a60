// "init" creates a profile; "start" does what the mail client does at start.
#include <cstdint>
#include <iostream>

#include "host/check_outcomes.h"
#include "host/cli.h"
#include "host/plugin_loader.h"
#include "host/stop_signals.h"

namespace gwhost {
namespace {

int RunInit(const Invocation& inv) {
  std::string address;
  for (size_t i = 0; i < inv.args.size(); ++i) {
    if (inv.args[i] == "--address" && i + 1 < inv.args.size()) {
      address = inv.args[++i];
    } else {
      return Fail(kExitUsage, "init: unexpected argument '" + inv.args[i] + "' (see init --help)");
    }
  }
  if (address.find_first_of("\r\n") != std::string::npos)
    return Fail(kExitUsage, "init: the address must be one line");
  std::string error;
  if (!InitProfile(inv.profile, address, &error)) return Fail(kExitFailure, "init: " + error);
  std::cout << "profile ready: " << inv.profile.root << '\n';
  return kExitOk;
}

int RunStart(const Invocation& inv) {
  if (!inv.args.empty()) return Fail(kExitUsage, "start: unexpected argument '" + inv.args[0] + "'");
  std::string error;
  auto plugin = LoadedPlugin::Load(inv.pluginPath, &error);
  if (!plugin) return Fail(kExitFailure, "start: " + error);
  auto onStart = plugin->Callback<int32_t (*)()>("BKC_OnStart");
  if (onStart == nullptr) return Fail(kExitFailure, "start: the plug-in has no BKC_OnStart");
  PrintOutcomesAsTheyCome(true);
  StopSignals signals;
  const int reported = ReportedChecks();
  onStart();
  std::cout << "plug-in started\n";
  // The start-up check runs detached; it reports when it ends.
  if (!AwaitReportedChecks(reported + 1, [&] { return signals.Stopped(); })) ExitPlugin(*plugin);
  plugin.reset();  // unloading waits for the check that the start began
  return kExitOk;
}

}  // namespace

Command InitCommand() {
  return {"init", "create a profile: data folder, mailbox, settings key, temp folder, outbox",
          "usage: gridwren-host [--profile DIR] init [--address ADDR]\n"
          "\n"
          "Creates the profile folder, and any missing folders above it: a data folder\n"
          "with one mailbox whose MailBox.ini holds ADDR as the account's address, an\n"
          "empty settings key, a temp folder and the mailbox's outbox (a Maildir).\n"
          "Existing content is kept; --address rewrites the mailbox's address.\n",
          false, RunInit};
}

Command StartCommand() {
  return {"start", "load the plug-in and start it as the mail client does",
          "usage: gridwren-host [--profile DIR] start\n"
          "\n"
          "Loads the plug-in (it binds the host functions), calls BKC_OnStart (it writes\n"
          "the defaults of missing settings and starts one usage check), waits for\n"
          "the check, and unloads the plug-in. SIGINT or SIGTERM meanwhile stop it as\n"
          "closing the mail client does (BKC_OnExit): the check is cancelled, its\n"
          "temporary files are removed, and the program ends within a few seconds.\n",
          true, RunStart};
}

}  // namespace gwhost
