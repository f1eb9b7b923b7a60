#include "plugin/plugin.h"

#include "monitor/scheduling.h"
#include "hostapi/host_calls.h"
#include "settings/defaults.h"

namespace gw {
namespace {

bool Attach() {
  // A library that the system kept mapped after an unload starts again from
  // a clean state when it is loaded anew, an earlier exit included.
  ClearExitState();
  CreateCheckLock();
  // The lock stays when binding fails; the library is then not loaded.
  if (!BindHostApi()) return false;
  CreateSettings();
  ResetMinuteCounter();
  return true;
}

void Detach(bool processEnding) {
  // When the process is ending, other threads are already gone and the
  // memory goes with the process; freeing could only touch a lock that a
  // killed thread held.
  if (processEnding) return;
  DestroyContext();
}

}  // namespace

bool PluginEntry(void* module, uint32_t reason, bool processEnding) {
  SetPluginModule(module);
  try {
    if (reason == kProcessAttach) return Attach();
    if (reason == kProcessDetach) Detach(processEnding);
    return true;
  } catch (...) {
    // Out of memory while loading: refuse the load rather than half-work.
    return reason != kProcessAttach;
  }
}

void PluginExit() { StopChecksForExit(); }

void LearnHostContext() {
  LearnAccountAddress();
  SetHostMainWindow(host::GetMainWindow());
}

void PluginStart() {
  // A failed default (even for lack of memory) must not keep the host's
  // window from being learnt or the start-up check from running.
  try {
    if (const SettingsStore* settings = Settings()) InitDefaults(*settings);
  } catch (...) {
  }
  SetHostMainWindow(host::GetMainWindow());
  // A check at every host start, before the first minute tick.
  StartUsageCheck(0);
}

}  // namespace gw
