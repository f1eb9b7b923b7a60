// The plug-in's process-wide state: what every check and the dialog share
// with the entry points. It lives beneath everything that uses it; the entry
// points set it while the library loads, starts and unloads.
#pragma once

#include "base/lock.h"
#include "hostapi/host_api.h"
#include "settings/settings_store.h"

namespace gw {

// The library's own module: resources (dialog, mail template) load from it.
void* PluginModule();
void SetPluginModule(void* module);

// Held by every usage check for its whole run; exists from process attach
// until process detach.
Lock& CheckLock();

// The one settings store; null before process attach and after detach.
const SettingsStore* Settings();

// The host's main window, learnt at start; passed with host commands.
HostWindow HostMainWindow();
void SetHostMainWindow(HostWindow window);

// The host has begun to shut down (BKC_OnExit). Checks in progress stop at
// their next step with E_ABORT and queue nothing; checks that start
// afterwards do nothing. Cleared whenever the library is loaded.
bool HostExiting();
void SetHostExiting(bool exiting);

// Marks one usage check as running, from before it waits for CheckLock until
// it has left it, so that the host's exit can wait for it.
class RunningCheck {
 public:
  RunningCheck();
  ~RunningCheck();
  RunningCheck(const RunningCheck&) = delete;
  RunningCheck& operator=(const RunningCheck&) = delete;
};

// Waits until no check is running, for at most `timeoutMs` milliseconds;
// true when none is.
bool WaitForRunningChecks(int timeoutMs);

// Process attach and detach: the lock is created once and kept even when the
// load is refused; the store exists only while the library is loaded.
void CreateCheckLock();
void CreateSettings();
void DestroyContext();

}  // namespace gw
