#include <dlfcn.h>

#include "monitor/check_report.h"

namespace gw {

// Looked up in the hosting program, like the host functions, but optional:
// hosts without it simply get nothing.
using CheckFinishedHook = void (*)(uint32_t threadId, int32_t result, const char* outcome);
constexpr const char* kCheckFinishedHook = "gwhost_CheckFinished";

void ReportDetachedCheck(const CheckRunner& runner) noexcept {
  auto hook = reinterpret_cast<CheckFinishedHook>(dlsym(RTLD_DEFAULT, kCheckFinishedHook));
  if (hook) hook(runner.threadId, runner.result, runner.outcome);
}

}  // namespace gw
