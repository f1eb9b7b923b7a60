#include "hostapi/host_symbols.h"

#include <dlfcn.h>

#include <cstring>

namespace gw {

void* MainProgramModule() {
  // The handle of the main program; the host exports its functions with a
  // dynamic symbol list so that they are found here.
  return dlopen(nullptr, RTLD_LAZY);
}

HostProc FindHostSymbol(void* module, const char* name) {
  return reinterpret_cast<HostProc>(dlsym(module, name));
}

int CompareVersionText(const char* a, const char* b) { return std::strcmp(a, b); }

}  // namespace gw
