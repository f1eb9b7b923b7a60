#include "hostapi/host_symbols.h"

#include <windows.h>

namespace gw {

void* MainProgramModule() { return GetModuleHandleW(nullptr); }

HostProc FindHostSymbol(void* module, const char* name) {
  return reinterpret_cast<HostProc>(GetProcAddress(static_cast<HMODULE>(module), name));
}

int CompareVersionText(const char* a, const char* b) { return lstrcmpA(a, b); }

}  // namespace gw
