#include <windows.h>

#include "plugin/plugin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  // A non-null `reserved` at process detach means the process is ending.
  return gw::PluginEntry(instance, reason, reserved != nullptr) ? TRUE : FALSE;
}
