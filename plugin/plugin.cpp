#include "plugin/plugin.h"

#include "monitor/scheduling.h"
#include "plugin/host_calls.h"
#include "settings/defaults.h"

namespace gw {
namespace {

void* g_module = nullptr;
Lock* g_checkLock = nullptr;
SettingsStore* g_settings = nullptr;
HostWindow g_mainWindow = nullptr;

bool Attach() {
  if (g_checkLock == nullptr) g_checkLock = new Lock();
  // The lock stays when binding fails; the library is then not loaded.
  if (!BindHostApi()) return false;
  g_settings = new SettingsStore(RegistryRoot::kCurrentUser, WideString(kSettingsKeyPath));
  ResetMinuteCounter();
  return true;
}

void Detach(bool processEnding) {
  // When the process is ending, other threads are already gone and the
  // memory goes with the process; freeing could only touch a lock that a
  // killed thread held.
  if (processEnding) return;
  delete g_settings;
  g_settings = nullptr;
  delete g_checkLock;
  g_checkLock = nullptr;
}

}  // namespace

bool PluginEntry(void* module, uint32_t reason, bool processEnding) {
  g_module = module;
  try {
    if (reason == kProcessAttach) return Attach();
    if (reason == kProcessDetach) Detach(processEnding);
    return true;
  } catch (...) {
    // Out of memory while loading: refuse the load rather than half-work.
    return reason != kProcessAttach;
  }
}

void* PluginModule() { return g_module; }

Lock& CheckLock() { return *g_checkLock; }

const SettingsStore* Settings() { return g_settings; }

HostWindow HostMainWindow() { return g_mainWindow; }

void LearnHostContext() {
  LearnAccountAddress();
  g_mainWindow = host::GetMainWindow();
}

void PluginStart() {
  // A failed default (even for lack of memory) must not keep the host's
  // window from being learnt or the start-up check from running.
  try {
    if (g_settings) InitDefaults(*g_settings);
  } catch (...) {
  }
  g_mainWindow = host::GetMainWindow();
  // A check at every host start, before the first minute tick.
  StartUsageCheck(0);
}

}  // namespace gw
