// Loading the plug-in into a host: a current host is accepted; a host that
// lacks BKA_SetStatus is accepted only while it reports a version below
// "2.00.06", and a refused load touches no settings.
#include <windows.h>

#include "harness/plugin_module.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

void RequireNotYetLoaded() {
  Require(GetModuleHandleA("Gridwren.dll") == nullptr,
          "the plug-in is already loaded in this process; run this case on its own");
}

// The host must offer what it claims, or the binding results mean nothing.
void RequireHostExports(bool withSetStatus) {
  HMODULE self = GetModuleHandleW(nullptr);
  for (const auto& name : HostFunctionNames()) {
    bool expected = withSetStatus || name != "BKA_SetStatus";
    Require((GetProcAddress(self, name.c_str()) != nullptr) == expected,
            "the test host " + std::string(expected ? "lacks " : "exports ") + name);
  }
}

void RequireNoSettingsWritten() {
  auto names = SettingNames();
  Require(names.empty(), "loading wrote settings, among them " + (names.empty() ? "" : Utf8(names[0])));
}

}  // namespace

void CaseBinding(TestEnv&) {
  RequireNotYetLoaded();
  RequireHostExports(true);
  HMODULE plugin = LoadPlugin();
  Require(plugin != nullptr, "LoadLibrary failed in a current host: error " + std::to_string(GetLastError()));
  HostRecord record = HostSnapshot();
  Require(record.versionCalls > 0, "the plug-in never asked for the host's version");
  Require(record.inertCalls.empty(), "loading called " + (record.inertCalls.empty() ? "" : record.inertCalls[0]));
  RequireNoSettingsWritten();
}

void CaseBindingWithoutSetStatus(TestEnv&) {
  RequireNotYetLoaded();
  RequireHostExports(false);
  // Refusals first: once a load succeeds the plug-in stays loaded.
  struct Attempt {
    const char* version;
    bool loads;
  };
  const Attempt attempts[] = {
      {GWT_DEFAULT_VERSION, false},  // "2.00.06", the first version that needs BKA_SetStatus
      {"2.81.02", false},
      {"2.00.10a", false},  // eight characters: a newer host, whatever it compares as
      {"2.00.05", true},
  };
  for (const auto& attempt : attempts) {
    SetHostVersion(attempt.version);
    HMODULE plugin = LoadPlugin();
    std::string what = std::string("host version \"") + attempt.version + "\" without BKA_SetStatus";
    Require((plugin != nullptr) == attempt.loads, what + (attempt.loads ? " was refused" : " was accepted"));
    if (!attempt.loads) {
      Require(GetModuleHandleA("Gridwren.dll") == nullptr, what + ": the refused plug-in stayed loaded");
    }
    RequireNoSettingsWritten();
  }
}

}  // namespace gwtest
