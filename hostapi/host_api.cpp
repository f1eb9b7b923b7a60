#include "hostapi/host_api.h"

#include <cstring>

#include "hostapi/host_symbols.h"

namespace gw {
namespace {

struct HostFunctionEntry {
  const char* name;
  HostProc HostApi::*slot;
  bool required;
};

const HostFunctionEntry kHostFunctions[kHostFunctionCount] = {
#define HOST_FUNCTION(name, required) {"BKA_" #name, &HostApi::name, required},
#include "hostapi/host_functions.inc"
#undef HOST_FUNCTION
};

// Hosts from this version on must offer BKA_SetStatus.
constexpr const char* kSetStatusRequiredFrom = "2.00.06";

bool NeedsSetStatus(const char* version) {
  if (version == nullptr) version = "";
  // A text longer than seven characters is never an old "2.00.NN" version.
  return std::strlen(version) > 7 || CompareVersionText(version, kSetStatusRequiredFrom) >= 0;
}

}  // namespace

const char* HostFunctionName(int index) {
  return (index >= 0 && index < kHostFunctionCount) ? kHostFunctions[index].name : nullptr;
}

bool BindHostApiWith(HostApi& api, void* module, const HostSymbolResolver& resolve) {
  if (api.IsBound()) return true;
  if (module == nullptr) return false;
  for (const auto& entry : kHostFunctions) {
    api.*entry.slot = resolve(entry.name);
    if (entry.required && api.*entry.slot == nullptr) return false;
  }
  auto getVersion = reinterpret_cast<host_sig::GetVersion>(api.GetVersion);
  if (NeedsSetStatus(getVersion()) && api.SetStatus == nullptr) return false;
  api.module = module;
  return true;
}

// Written only while the library loads, before any other thread exists.
HostApi g_hostApi;

HostApi& TheHostApi() { return g_hostApi; }

bool BindHostApi() {
  void* module = MainProgramModule();
  return BindHostApiWith(TheHostApi(), module,
                         [module](const char* name) { return FindHostSymbol(module, name); });
}

}  // namespace gw
