// The native build's library entry. Linux runs no entry point that could
// refuse a load, so the stand-in host plays the Windows loader: right after
// loading it calls DllMain for process attach and unloads the library again
// when that returns false.
#include <cstdint>

#include "base/thread.h"
#include "plugin/plugin.h"

extern "C" GW_EXPORT int32_t DllMain(void* module, uint32_t reason, void* reserved) noexcept {
  // As on Windows, a non-null `reserved` at detach means the process ends.
  // On an unload, checks still running finish first: they use the lock and
  // the settings store that detach destroys.
  if (reason == gw::kProcessDetach && reserved == nullptr) gw::WaitForWorkerThreads();
  return gw::PluginEntry(module, reason, reserved != nullptr) ? 1 : 0;
}
