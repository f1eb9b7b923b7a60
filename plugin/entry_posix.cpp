// The native build's library entry. Linux runs no entry point that could
// refuse a load, so the stand-in host plays the Windows loader: right after
// loading it calls DllMain for process attach and unloads the library again
// when that returns false.
#include <cstdint>

#include "base/thread.h"
#include "net/download.h"
#include "plugin/plugin.h"

namespace {

// As long as one download may take at most, its deadline; a check that
// outlasts it is cancelled.
constexpr int kUnloadGraceMs = gw::kDownloadDeadlineSeconds * 1000;

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
  // As on Windows, a non-null `reserved` at detach means the process ends.
  if (reason == gw::kProcessDetach && reserved == nullptr) FinishRunningChecks();
  return gw::PluginEntry(module, reason, reserved != nullptr) ? 1 : 0;
}
