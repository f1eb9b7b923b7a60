// Looking up the host program's exported functions.
#pragma once

#include "hostapi/host_api.h"

namespace gw {

// The process's main executable module, or null.
void* MainProgramModule();
HostProc FindHostSymbol(void* module, const char* name);

// The platform's text comparison used for host version texts (lstrcmpA on
// Windows): negative, zero or positive.
int CompareVersionText(const char* a, const char* b);

}  // namespace gw
