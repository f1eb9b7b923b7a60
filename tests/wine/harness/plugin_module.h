// The real Gridwren.dll, loaded from beside the test host the way the mail
// client loads it, and the tools to look at what it exports.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gwtest {

std::string PluginPath();

// LoadLibrary of the plug-in; null when the load fails (GetLastError says
// why). The module stays loaded for the rest of the process.
HMODULE LoadPlugin();

// The plug-in, loaded; fails the test when it does not load.
HMODULE RequirePlugin();

// Every name in the module's export table, as the loader sees it.
std::vector<std::string> ExportedNames(HMODULE module);

// The export of exactly this name; fails the test when there is none.
FARPROC RequireExport(HMODULE module, const char* name);

// The names in the plug-in's .def file, in its order.
std::vector<std::string> DefinedExports();

}  // namespace gwtest
