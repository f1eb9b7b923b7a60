// "check" runs one usage check now; "run" plays the mail client's minute
// ticks; "read-feed" shows what a check reads from a feed file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <thread>

#include "base/lock.h"
#include "host/check_outcomes.h"
#include "host/cli.h"
#include "host/plugin_loader.h"
#include "host/stop_signals.h"
#include "monitor/check_runner.h"
#include "monitor/scheduling.h"
#include "monitor/usage_reading.h"
#include "plugin/plugin.h"

namespace gwhost {
namespace {

bool ParseCount(const std::string& text, long long min, long long* out) {
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || v < min) return false;
  *out = v;
  return true;
}

int RunCheck(const Invocation& inv) {
  bool test = false;
  for (const auto& a : inv.args) {
    if (a != "--test") return Fail(kExitUsage, "check: unexpected argument '" + a + "' (see check --help)");
    test = true;
  }
  // The check runs here, on this program's copy of the plug-in code, with
  // the same settings, host functions and outbox as the loaded plug-in.
  gw::LearnHostContext();
  gw::SettingsStore store(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
  gw::Lock lock;
  gw::CheckRunner runner(test ? 1 : 0, store, lock);
  {
    // A signal stops the check here as the mail client's exit stops the
    // plug-in's; the check then ends at once and removes its files.
    StopSignals signals([] { gw::StopChecksForExit(); });
    runner.UsageCheck();
  }
  if (test) {
    std::cout << gw::WideToUtf8(gw::TestMailMessage(runner.result)) << '\n';
  } else {
    std::cout << DescribeOutcome(runner.result, runner.outcome) << '\n';
  }
  return gw::Failed(runner.result) && runner.result != gw::kEAbort ? kExitFailure : kExitOk;
}

int RunTicks(const Invocation& inv) {
  long long ticks = -1, tickMs = 60000;
  for (size_t i = 0; i < inv.args.size(); ++i) {
    const std::string& a = inv.args[i];
    bool hasValue = i + 1 < inv.args.size();
    if (a == "--ticks" && hasValue && ParseCount(inv.args[i + 1], 0, &ticks)) {
      ++i;
    } else if (a == "--tick-ms" && hasValue && ParseCount(inv.args[i + 1], 0, &tickMs)) {
      ++i;
    } else {
      return Fail(kExitUsage, "run: bad argument '" + a + "' (see run --help)");
    }
  }
  std::string error;
  auto plugin = LoadedPlugin::Load(inv.pluginPath, &error);
  if (!plugin) return Fail(kExitFailure, "run: " + error);
  auto onStart = plugin->Callback<int32_t (*)()>("BKC_OnStart");
  auto onMinute = plugin->Callback<int32_t (*)()>("BKC_OnEveryMinute");
  if (!onStart || !onMinute) return Fail(kExitFailure, "run: the plug-in lacks BKC_OnStart or BKC_OnEveryMinute");
  PrintOutcomesAsTheyCome(true);
  StopSignals signals;
  onStart();
  for (long long tick = 1; (ticks < 0 || tick <= ticks) && !signals.Stopped(); ++tick) {
    for (long long waited = 0; waited < tickMs && !signals.Stopped(); waited += 50)
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(50, tickMs - waited)));
    if (!signals.Stopped()) onMinute();
  }
  if (signals.Stopped()) ExitPlugin(*plugin);
  plugin.reset();  // unloading waits for the checks still running
  return kExitOk;
}

int RunReadFeed(const Invocation& inv) {
  if (inv.args.size() != 1) return Fail(kExitUsage, "read-feed: give one feed file (see read-feed --help)");
  std::ifstream in(inv.args[0], std::ios::binary);
  if (!in) return Fail(kExitFailure, "read-feed: cannot read " + inv.args[0]);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Read as the check reads its download: code-page text, zero bytes skipped.
  std::string text;
  for (char c : bytes) {
    if (c != '\0') text.push_back(c);
  }
  gw::UsageReading r = gw::ReadFeed(gw::NarrowToWide(text));
  std::printf("usage=%d capacity=%d year=%d month=%d day=%d hour=%d percent=%u\n", r.usage, r.capacity, r.year,
              r.month, r.day, r.hour, r.percent);
  return kExitOk;
}

}  // namespace

Command CheckCommand() {
  return {"check", "run one usage check now, periodic or as the test mail",
          "usage: gridwren-host [--profile DIR] check [--test]\n"
          "\n"
          "Runs one usage check now with the profile's settings: fetches the feed,\n"
          "applies the gates, and queues the notification mail in the outbox when\n"
          "one is due. Prints the outcome, e.g. 'skipped: below threshold (0x80004004)'.\n"
          "With --test it is the settings dialog's test mail: the gates are skipped\n"
          "and the message box text is printed. SIGINT or SIGTERM cancel the check\n"
          "as closing the mail client does: it ends at once with 0x80004004 and\n"
          "removes its temporary files.\n"
          "Exit status: 0 sent or skipped by a gate, 1 failed.\n",
          true, RunCheck};
}

Command RunCommand() {
  return {"run", "start the plug-in and play the mail client's minute ticks",
          "usage: gridwren-host [--profile DIR] run [--ticks N] [--tick-ms MS]\n"
          "\n"
          "Loads the plug-in, calls BKC_OnStart, then BKC_OnEveryMinute N times, MS\n"
          "milliseconds apart (default: endless ticks, 60000 ms). Prints one line per\n"
          "check the plug-in ran, with its outcome. Ctrl-C (SIGINT) or SIGTERM stop it\n"
          "as closing the mail client does (BKC_OnExit): running checks are cancelled\n"
          "and their temporary files removed, and the program ends within seconds.\n",
          true, RunTicks};
}

Command ReadFeedCommand() {
  return {"read-feed", "print the numbers a check reads from a feed file",
          "usage: gridwren-host read-feed FILE\n"
          "\n"
          "Prints the six numbers that a usage check reads from the feed FILE, and\n"
          "the usage percentage they give, on one line:\n"
          "usage=N capacity=N year=N month=N day=N hour=N percent=N\n",
          false, RunReadFeed};
}

}  // namespace gwhost
