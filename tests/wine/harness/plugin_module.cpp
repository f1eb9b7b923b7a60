#include "harness/plugin_module.h"

#include "harness/test_case.h"

namespace gwtest {

std::string PluginPath() {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string path(exe, n);
  return path.substr(0, path.find_last_of('\\') + 1) + "Gridwren.dll";
}

HMODULE LoadPlugin() { return LoadLibraryA(PluginPath().c_str()); }

HMODULE RequirePlugin() {
  HMODULE module = LoadPlugin();
  Require(module != nullptr, "LoadLibrary(" + PluginPath() + ") failed: error " + std::to_string(GetLastError()));
  return module;
}

std::vector<std::string> ExportedNames(HMODULE module) {
  // The export directory of a mapped image, read in place.
  auto base = reinterpret_cast<const unsigned char*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::vector<std::string> names;
  if (dir.VirtualAddress == 0) return names;
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
  }
  return names;
}

FARPROC RequireExport(HMODULE module, const char* name) {
  FARPROC proc = GetProcAddress(module, name);
  Require(proc != nullptr, std::string("the plug-in does not export ") + name);
  return proc;
}

std::vector<std::string> DefinedExports() {
  return {
#include "plugin_def_exports.inc"
  };
}

}  // namespace gwtest
