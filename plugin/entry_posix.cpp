// The native build's library entry. Linux runs no entry point that could
// refuse a load, so the stand-in host plays the Windows loader: right after
// loading it calls DllMain for process attach and unloads the library again
// when that returns false.
#include <cstdint>

#include "base/thread.h"
#include "net/download.h"
#include "plugin/plugin.h"

namespace {

// Longer than a check that meets the download time-outs: 60 s to connect,
// 30 s without data.
constexpr int kUnloadGraceMs = 120000;

// Checks still running finish first: they use the lock and the settings
// store that detach destroys. A check that a server keeps alive with a byte
// now and then is cancelled once the grace time is over.
void FinishRunningChecks() {
  if (gw::WaitForWorkerThreads(kUnloadGraceMs)) return;
  gw::SetDownloadsAborted(true);
  gw::WaitForWorkerThreads();
}

}  // namespace

extern "C" GW_EXPORT int32_t DllMain(void* module, uint32_t reason, void* reserved) noexcept {
  // A library that the system keeps mapped after an unload starts again from
  // a clean state when it is loaded anew.
  if (reason == gw::kProcessAttach) gw::SetDownloadsAborted(false);
  // As on Windows, a non-null `reserved` at detach means the process ends.
  if (reason == gw::kProcessDetach && reserved == nullptr) FinishRunningChecks();
  return gw::PluginEntry(module, reason, reserved != nullptr) ? 1 : 0;
}
