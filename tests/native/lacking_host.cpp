// A host that exports every host function but BKA_Connect, which the plug-in
// never calls but still requires. Loading the plug-in must be refused, for
// real: through the dynamic symbol table of this program, as in a mail client.
#include <cstdint>
#include <cstdio>
#include <string>

#include "host/plugin_loader.h"

extern "C" {
const char* BKA_GetVersion() { return "2.81.02"; }
// BKA_Connect is defined with the rest but left out of this program's
// dynamic symbol list, so the plug-in cannot find it.
#define UNCALLED_HOST_FUNCTION(name) \
  int32_t name() { return 0; }
#include "hostapi/host_functions_uncalled.inc"
UNCALLED_HOST_FUNCTION(BKA_Command) UNCALLED_HOST_FUNCTION(BKA_GetWindowHandles)
UNCALLED_HOST_FUNCTION(BKA_RegisterCommand) UNCALLED_HOST_FUNCTION(BKA_RegisterUICallback)
UNCALLED_HOST_FUNCTION(BKA_GetDataFolder) UNCALLED_HOST_FUNCTION(BKA_GetCurrentMailBox)
UNCALLED_HOST_FUNCTION(BKA_GetTempFileName) UNCALLED_HOST_FUNCTION(BKA_AppendMessage)
UNCALLED_HOST_FUNCTION(BKA_B64Convert) UNCALLED_HOST_FUNCTION(BKA_GetTempFolder)
#undef UNCALLED_HOST_FUNCTION
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lacking_host PLUGIN\n");
    return 2;
  }
  std::string error;
  auto plugin = gwhost::LoadedPlugin::Load(argv[1], &error);
  if (plugin) {
    std::printf("FAIL: the plug-in loaded in a host without BKA_Connect\n");
    return 1;
  }
  std::printf("PASS: refused: %s\n", error.c_str());
  return 0;
}
